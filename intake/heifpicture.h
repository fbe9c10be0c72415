#pragma once

#include "intake/metadatablocks.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <mutex>

struct heif_context;
struct heif_image_handle;

// A HEIF (HEIC) or AVIF file opened with libheif, held in memory: its primary image as
// libheif shows it (rotated and mirrored as the file says, so no EXIF orientation is applied
// on top), its metadata, and its pixels at a given size, from the file's own thumbnail when
// that is large enough. One object may be used from one thread at a time.
class HeifPicture {
public:
    // The whole file; none, and *error, when libheif cannot read it or has no primary image.
    static std::shared_ptr<HeifPicture> open(const QByteArray &bytes, QString *error);
    ~HeifPicture();
    HeifPicture(const HeifPicture &) = delete;
    HeifPicture &operator=(const HeifPicture &) = delete;

    // The primary image's size, upright.
    QSize size() const { return m_size; }
    MetadataBlocks metadata() const;
    // The picture scaled to `size` (upright, as size()): drawn from the embedded thumbnail
    // when it is at least that large and has the same shape, else from the primary image
    // decoded whole (libheif has no reduced decode), within DecodeBudget.
    QImage decode(const QSize &size, QString *error) const;
    // Whether decode(size) would use the embedded thumbnail.
    bool thumbnailServes(const QSize &size) const;

    // Sides above this are refused before anything is decoded.
    static constexpr int kMaxSide = 32768;

private:
    HeifPicture() = default;
    heif_image_handle *thumbnailFor(const QSize &size) const;

    QByteArray m_bytes; // libheif reads from them without a copy
    heif_context *m_context = nullptr;
    heif_image_handle *m_primary = nullptr;
    heif_image_handle *m_thumbnail = nullptr; // the largest, when there is one
    QSize m_size;
    mutable std::mutex m_mutex;
};
