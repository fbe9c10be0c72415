#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

// When a photo was taken, as the camera's clock read it: the wall-clock date and time, with
// milliseconds and the clock's offset from UTC only when the file gives them.
struct TakenTime {
    QDate date;
    QTime time; // milliseconds are 0 unless hasSubSeconds
    bool hasSubSeconds = false;
    std::optional<int> offsetMinutes; // east of UTC

    bool isValid() const { return date.isValid() && time.isValid(); }
    // ISO 8601: "2019-06-24T18:30:05", with ".120" and "-03:00" when known.
    QString isoText() const;
    bool operator==(const TakenTime &) const = default;
};

// What a camera or a photographer wrote into a picture file (EXIF, XMP, IPTC). Every fact may
// be absent; a fact found malformed or out of its range is absent too. Orientation is the
// value as written; what the program applies to the pixels is PictureMeasure's.
struct PhotoFacts {
    std::optional<TakenTime> taken;
    QString make;
    QString model;
    QString lens;
    std::optional<double> exposureSeconds;
    std::optional<double> fNumber;
    std::optional<int> iso;
    std::optional<double> focalLengthMm;
    std::optional<int> orientation; // 1 to 8
    std::optional<double> latitude; // degrees, north positive
    std::optional<double> longitude; // degrees, east positive
    std::optional<double> altitudeMetres; // above sea level positive
    QString title; // a title, else a description
    QStringList keywords; // XMP and IPTC merged, each once
    std::optional<int> rating; // 0 to 5

    bool isEmpty() const;
    bool operator==(const PhotoFacts &) const = default;

    // An exposure as photographers write it: "1/250" below a second when that is what it
    // is, otherwise a short decimal ("0.3", "2", "30").
    static QString exposureText(double seconds);
};
