#include "intake/thumbnailsweep.h"

#include "intake/directorylisting.h"
#include "store/thumbnailstore.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {
constexpr int kForgetAtOnce = 500;
}

ThumbnailSweep::ThumbnailSweep(
    std::function<QString(qint64)> nameOf, std::unique_ptr<ThumbnailStore> kept)
    : m_nameOf(std::move(nameOf)), m_kept(std::move(kept))
{
    if (m_kept) {
        const QSet<qint64> keys = m_kept->keptPictures();
        m_keptKeys.assign(keys.cbegin(), keys.cend());
        std::sort(m_keptKeys.begin(), m_keptKeys.end());
    }
    const QFileInfo sample(m_nameOf(1));
    DirectoryListing listing(
        QFile::encodeName(sample.absolutePath()), DirectoryListing::Links::Follow);
    while (const dirent *entry = listing.next()) {
        const char *name = entry->d_name;
        const size_t length = std::strlen(name);
        size_t digits = 0;
        while (digits < length && name[digits] >= '0' && name[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 18)
            continue;
        const qint64 key = QByteArray(name, qsizetype(digits)).toLongLong();
        if (QFileInfo(m_nameOf(key)).fileName() == QFile::decodeName(name))
            m_keys.push_back(key);
    }
    std::sort(m_keys.begin(), m_keys.end());
}

ThumbnailSweep::~ThumbnailSweep() = default;

void ThumbnailSweep::remove(qint64 recId)
{
    if (std::binary_search(m_keys.cbegin(), m_keys.cend(), recId))
        ::unlink(QFile::encodeName(m_nameOf(recId)).constData());
    if (std::binary_search(m_keptKeys.cbegin(), m_keptKeys.cend(), recId)) {
        m_forget.append(recId);
        if (m_forget.size() >= kForgetAtOnce)
            flush();
    }
}

void ThumbnailSweep::flush()
{
    if (m_forget.isEmpty())
        return;
    m_kept->forget(m_forget);
    m_forget.clear();
}
