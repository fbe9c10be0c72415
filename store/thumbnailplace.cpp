#include "store/thumbnailplace.h"

#include "store/catalogueidentity.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The namespace of the names given to catalogues without an identity.
const QUuid standInNamespace(QStringLiteral("{6f1b8f0e-3c2a-4d53-9a7e-2b5c41d0e8a7}"));

// Enough of a SQLite file to tell two catalogues apart: its header (change counter, page
// count, schema cookie) and its first pages.
constexpr qint64 kSampleBytes = 64 * 1024;

QString markerPath(const QString &root)
{
    return QDir(root).filePath(ThumbnailPlace::ownerFileName());
}

} // namespace

ThumbnailPlace::Owner ThumbnailPlace::ownerOf(const QString &root)
{
    Owner owner;
    const QByteArray path = QFile::encodeName(markerPath(root));
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            owner.state = Owner::State::Unknown;
        return owner;
    }
    owner.state = Owner::State::Unknown;
    QFile file(QFile::decodeName(path));
    if (!S_ISREG(st.st_mode) || !file.open(QIODevice::ReadOnly))
        return owner;
    const QString identity = CatalogueIdentity::canonical(QString::fromLatin1(file.read(100)));
    if (!identity.isEmpty()) {
        owner.state = Owner::State::Catalogue;
        owner.identity = identity;
    }
    return owner;
}

QString ThumbnailPlace::folderOf(const QString &root, const Catalogue &catalogue)
{
    const Owner owner = ownerOf(root);
    if (owner.state == Owner::State::None && catalogue.isDefault)
        return root;
    if (!catalogue.identity.isEmpty()) {
        if (owner.state == Owner::State::Catalogue && owner.identity == catalogue.identity)
            return root;
        return QDir(root).filePath(catalogue.identity);
    }
    return QDir(root).filePath(standInFor(catalogue.file));
}

bool ThumbnailPlace::claim(const QString &root, const QString &identity)
{
    if (identity.isEmpty())
        return false;
    Owner owner = ownerOf(root);
    if (owner.state == Owner::State::None) {
        QDir().mkpath(root);
        // Written whole under a name of its own, then linked to the owner's name, which
        // refuses a name taken meanwhile: of two claims at once, one wins.
        const QString temporary
            = QDir(root).filePath(QStringLiteral(".catalogue.%1.%2.tmp")
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(QRandomGenerator::global()->generate(), 0, 16));
        QFile file(temporary);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const bool written = file.write(identity.toLatin1() + '\n') == identity.size() + 1;
            file.close();
            if (written)
                ::link(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(markerPath(root)).constData());
            file.remove();
        }
        owner = ownerOf(root);
    }
    return owner.state == Owner::State::Catalogue && owner.identity == identity;
}

QStringList ThumbnailPlace::allFolders(const QString &root)
{
    QStringList folders { root };
    const QDir dir(root);
    const QStringList names
        = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names)
        folders.append(dir.filePath(name));
    return folders;
}

bool ThumbnailPlace::sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) == 0
        && ::stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath())
        == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

QString ThumbnailPlace::standInFor(const QString &file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QFile f(file);
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) == 0 && f.open(QIODevice::ReadOnly)) {
        hash.addData(QByteArray::number(qint64(st.st_size)) + ' '
            + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.'
            + QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ' ');
        hash.addData(f.read(kSampleBytes));
    } else {
        hash.addData(QFile::encodeName(QDir::cleanPath(QFileInfo(file).absoluteFilePath())));
    }
    return QUuid::createUuidV5(standInNamespace, hash.result()).toString(QUuid::WithoutBraces);
}
