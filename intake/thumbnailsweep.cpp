#include "intake/thumbnailsweep.h"

#include "intake/directorylisting.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <unistd.h>

ThumbnailSweep::ThumbnailSweep(std::function<QString(qint64)> nameOf) : m_nameOf(std::move(nameOf))
{
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

void ThumbnailSweep::remove(qint64 recId)
{
    if (std::binary_search(m_keys.cbegin(), m_keys.cend(), recId))
        ::unlink(QFile::encodeName(m_nameOf(recId)).constData());
}
