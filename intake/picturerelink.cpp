#include "intake/picturerelink.h"

#include "intake/filetimetext.h"
#include "intake/picturefile.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "intake/storagefordrive.h"
#include "store/tdados.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

QString PictureRelink::refusal(const QString &file)
{
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return QStringLiteral("Arquivo não encontrado: %1").arg(file);
    if (!S_ISREG(st.st_mode))
        return PictureFile::openError(file, PictureFile::notRegularError());
    return QString();
}

void PictureRelink::fill(TDados &store, const QString &file,
    const std::function<QString()> &entryText, const std::function<void()> &beforeStorageWrite)
{
    const QFileInfo info(file);
    const QString folder = info.absolutePath();
    const QString drive = driveOfPath(folder);
    StorageForDrive(
        store, drive, [&] { return entryText ? entryText() : QString(); }, beforeStorageWrite);

    RecordSet &pictures = store.TPictures;
    const QString ext = info.suffix().toLower();
    if (pictures.asString(QStringLiteral("Name")).trimmed().isEmpty())
        pictures.setValue(QStringLiteral("Name"), info.completeBaseName());
    pictures.setValue(QStringLiteral("FileName"), info.fileName());
    // Looked up as an ordinary file: hidden and system files are not found this way.
    struct stat st;
    if (!info.fileName().startsWith(QLatin1Char('.'))
        && ::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) == 0
        && S_ISREG(st.st_mode)) {
        FileTimeText times;
        const QDateTime written
            = QDateTime::fromString(QString::fromLatin1(times.text(st.st_mtime)), Qt::ISODate);
        pictures.setValue(QStringLiteral("FileSize"), qint64(st.st_size));
        pictures.setValue(QStringLiteral("Created"), written);
        pictures.setValue(QStringLiteral("Modified"), written);
    }
    pictures.setValue(QStringLiteral("FullPath"),
        folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
    pictures.setValue(QStringLiteral("FileType"), ext);
    pictures.setValue(QStringLiteral("Location"), store.TStorages.asInt(QStringLiteral("RecId")));
}

void PictureRelink::recordDetails(TDados &store)
{
    RecordSet &pictures = store.TPictures;
    PictureReview::Picture picture;
    picture.path = PictureMeasure::picturePath(pictures.asString(QStringLiteral("FullPath")),
        pictures.asString(QStringLiteral("FileName")));
    picture.fileType = pictures.asString(QStringLiteral("FileType"));
    RecordSet &formats = store.TFormats;
    if (PictureReview::isWebType(picture.fileType)
        || !formats.locate(QStringLiteral("Extension"), picture.fileType, true)
        || !formats.asBool(QStringLiteral("Support")))
        return;
    const int side = PictureReview::kViewSide;
    const PictureReview::Result result = PictureReview::examine(picture, QSize(side, side), false);
    if (result.outcome != PictureReview::Outcome::Larger)
        return;
    for (const auto &[column, value] : PictureReview::details(result, false))
        pictures.setValue(column, value);
}
