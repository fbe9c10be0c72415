#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Connection;
class Statement;

// The search of pictures by a typed text: one statement over six picture fields, the same
// for the main window's grid and for quillomar-cli. It can be narrowed to the photos taken in
// a period and to those of a camera, from the facts their review recorded; without a
// narrowing the statement is exactly the search's own.
class CatalogSearch {
public:
    struct Hit {
        qint64 recId = 0;
        QString collection;
        QString category;
        QString picture;
    };

    // What a search may be narrowed to. Periods are written YYYY, YYYY-MM or YYYY-MM-DD and
    // both ends are inclusive: from "2019" to "2019-06" is January 2019 to the end of June.
    struct Narrowing {
        QString takenFrom; // empty: no earliest date
        QString takenTo; // empty: no latest date
        QString camera; // matched as the typed text is, against make and model; empty: any

        bool isEmpty() const
        {
            return takenFrom.isEmpty() && takenTo.isEmpty() && camera.isEmpty();
        }
        bool narrowsTaken() const { return !takenFrom.isEmpty() || !takenTo.isEmpty(); }
    };

    // The statement, line by line, with its parameters :Q1 to :Q6.
    static QStringList statementLines();
    // The same narrowed (its further parameters :DE, :ATE, :CAMERA); the search's own
    // statement when the narrowing is empty.
    static QStringList statementLines(const Narrowing &narrowing);
    // Fills :Q1 to :Q6 with the typed text between "%" signs, as typed: its own "%" and
    // "_" stay wildcards.
    static void bindText(Statement &statement, const QString &typed);
    // Fills the narrowing's parameters.
    static void bindNarrowing(Statement &statement, const Narrowing &narrowing);
    // The box shown when nothing matched.
    static QString noHitMessage(const QString &typed);
    // Every hit in the statement's order, until `hit` returns false. Throws DbError.
    static void forEachHit(
        Connection &connection, const QString &typed, const std::function<bool(const Hit &)> &hit);
    static void forEachHit(Connection &connection, const QString &typed, const Narrowing &narrowing,
        const std::function<bool(const Hit &)> &hit);

    // A period as typed ("2019", "2019-07", "2019-07-04"): true when it is one, a valid date
    // to its precision.
    static bool isPeriod(const QString &text);
    // "FROM" or "FROM..TO" into the narrowing's two ends; false and *error (in Portuguese)
    // when it is neither or ends before it begins.
    static bool parseTaken(const QString &text, Narrowing &narrowing, QString *error);
    // The cameras the catalogue's pictures were taken with ("Canon EOS 5D", a make and its
    // model, the model alone when it names the make already), each once, the most used
    // first: what a person picks a camera from. Throws DbError.
    static QStringList cameras(Connection &connection);
};
