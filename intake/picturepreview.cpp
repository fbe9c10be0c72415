#include "intake/picturepreview.h"

#include "core/desktopshell.h"
#include "core/eventpump.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "intake/firstshowing.h"
#include "intake/jpegerror.h"
#include "intake/picturefactstable.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "intake/reviewrecords.h"
#include "intake/storagereach.h"
#include "store/dberror.h"
#include "store/recordset.h"
#include "store/tdados.h"
#include "store/thumbnailstore.h"

#include <QFile>
#include <QFileInfo>
#include <QMovie>
#include <QUrl>

#include <optional>

namespace {

// The current picture's file where it is reached now (its disk may be mounted elsewhere
// than its row says), or, when its disk is not connected, the message telling which disk.
StorageReach::PictureFile currentFile(TDados &store)
{
    RecordSet &pictures = store.TPictures;
    const QString fullPath = pictures.asString(QStringLiteral("FullPath"));
    const QString fileName = pictures.asString(QStringLiteral("FileName"));
    const qint64 location = pictures.asInt(QStringLiteral("Location"));
    StorageReach::PictureFile file;
    if (location > 0)
        file = StorageReach().pictureFile(store.Conexao, location, fullPath, fileName);
    // A row without a folder is looked for as it always was.
    if (file.online && (location <= 0 || fullPath.isEmpty()))
        file.path = PictureMeasure::picturePath(fullPath, fileName);
    return file;
}

} // namespace

PicturePreview::PicturePreview(
    TDados &store, Prompter &prompter, DesktopShell &desktop, QSize viewSize, QObject *parent)
    : QObject(parent),
      m_store(store),
      m_prompter(prompter),
      m_desktop(desktop),
      m_viewSize(viewSize)
{
    setObjectName(QStringLiteral("PicturePreview"));
    qRegisterMetaType<PreviewPicture>();
    qRegisterMetaType<PhotoFactsText::Block>();
}

PicturePreview::~PicturePreview() = default;

// The details land in the row being edited only while there is one: a cancel shows the
// picture again before the editing flags are cleared.
bool PicturePreview::inProgress() const
{
    return m_store.TPictures.isEditing();
}

void PicturePreview::showSmall(PreviewTab tab, const PreviewPicture &picture)
{
    m_tab = tab;
    emit smallPreviewShown(tab, picture);
}

void PicturePreview::clearThumbnail()
{
    m_tab = PreviewTab::None;
    emit smallPreviewCleared();
    emit factsShown(PhotoFactsText::Block());
}

void PicturePreview::showRecordedFacts(qint64 recId)
{
    const std::optional<PhotoFacts> facts = PictureFactsTable::read(m_store.Conexao, recId);
    emit factsShown(facts ? PhotoFactsText::block(*facts) : PhotoFactsText::Block());
}

void PicturePreview::reportOnce(qint64 recId, const QString &text)
{
    if (m_reported.contains(recId))
        return;
    m_reported.insert(recId);
    m_prompter.error(text);
}

void PicturePreview::ShowThumbnail()
{
    const quint64 showing = ++m_showing;
    emit statusTextChanged(QStringLiteral("Carregando imagem..."));
    EventPump::pumpNow();
    if (overtaken(showing))
        return;
    RecordSet &pictures = m_store.TPictures;
    QString name;
    qint64 recId = 0;
    bool review = true;
    try {
        recId = pictures.asInt(QStringLiteral("RecId"));
        name = m_store.GetThumbnailName(recId);
        // A picture reviewed before its facts were read is read once more from its file;
        // one on a disk in a drawer shows its thumbnail, the only picture left of it.
        const StorageReach::PictureFile file = currentFile(m_store);
        review = file.online
            && FirstShowing::needsReview(
                m_store, recId, pictures.asBool(QStringLiteral("Review")), file.path);
        showRecordedFacts(recId);
    } catch (const DbError &) {
        // The status panel is emptied before the general error display tells it.
        emit statusTextChanged(QString());
        throw;
    }
    emit smallPreviewCleared();
    // A thumbnail the catalogue keeps (made on another machine) is fetched first; without
    // the server the copy here, if any, is shown.
    try {
        m_store.thumbnails()->refresh({ recId });
    } catch (const DbError &) {
    }

    if (!review && QFileInfo(name).isFile()) {
        const PictureMeasure thumbnail = PictureMeasure::measure(name, QStringLiteral("jpg"));
        QString error;
        const QImage image = thumbnail.decode(thumbnail.viewSize(m_viewSize), &error);
        // An unreadable file under the thumbnail's name is the thumbnail all the same.
        if (image.isNull())
            m_prompter.error(error);
        showSmall(PreviewTab::Image, PreviewPicture::still(image));
        emit enlargeButtonChanged(QStringLiteral("Ampliar"));
    } else {
        loadPicture(showing);
    }
    // A newer showing has its own picture and status text.
    if (overtaken(showing))
        return;
    // The picture's first thumbnail may have given the catalogue its thumbnail folder; and
    // a place for a hand-made one is told only once it is where the catalogue will look.
    name = m_store.GetThumbnailName(recId);
    if (!QFileInfo::exists(name) && !inProgress()) {
        m_store.prepareThumbnailFolder();
        name = m_store.GetThumbnailName(recId);
    }
    if (QFileInfo::exists(name))
        emit statusTextChanged(QString());
    else
        emit statusTextChanged(QStringLiteral("Miniatura não disponível. Grave ") + name
            + QStringLiteral(" máximo 135px em 72dpi"));
}

void PicturePreview::LoadPicture()
{
    loadPicture(++m_showing);
}

void PicturePreview::loadPicture(quint64 showing)
{
    emit statusTextChanged(QStringLiteral("Carregando imagem..."));
    EventPump::pumpNow();
    if (overtaken(showing))
        return;

    RecordSet &pictures = m_store.TPictures;
    PictureReview::Picture picture;
    qint64 recId = 0;
    bool supported = false;
    bool online = true;
    try {
        const StorageReach::PictureFile file = currentFile(m_store);
        online = file.online;
        picture.path = file.path;
        picture.fileType = pictures.asString(QStringLiteral("FileType"));
        recId = pictures.asInt(QStringLiteral("RecId"));
        picture.thumbnail = m_store.GetThumbnailName(recId);
        RecordSet &formats = m_store.TFormats;
        supported = formats.locate(QStringLiteral("Extension"), picture.fileType, true)
            && formats.asBool(QStringLiteral("Support"));
    } catch (const DbError &) {
        emit statusTextChanged(QString());
        throw;
    }

    const bool web = PictureReview::isWebType(picture.fileType);
    if (!online) {
        // Nothing of the picture can be read: the view stays empty, and the enlarge button
        // tells which disk to connect.
        showSmall(supported ? (web ? PreviewTab::Web : PreviewTab::Image) : PreviewTab::None,
            PreviewPicture());
        emit enlargeButtonChanged(
            supported ? QStringLiteral("Ampliar") : QStringLiteral("Visualizar"));
        emit statusTextChanged(QString());
        return;
    }
    const bool idle = !inProgress();
    PictureReview::Result result;
    bool loaded = false;
    if (supported && !web) {
        result = PictureReview::examine(picture, m_viewSize, idle);
        if (result.outcome == PictureReview::Outcome::Missing) {
            emit statusTextChanged(QString());
            return;
        }
        loaded = !result.view.isNull();
        if (loaded)
            showSmall(PreviewTab::Image, PreviewPicture::still(result.view));
    } else if (supported) {
        if (!QFileInfo(picture.path).isFile()) { // absent, a folder, or not a regular file
            emit statusTextChanged(QString());
            return;
        }
        PreviewPicture shown;
        loaded = webPicture(picture.path, picture.fileType, m_viewSize, &shown, nullptr);
        if (loaded)
            showSmall(PreviewTab::Web, shown);
    } else if (const QFileInfo file(picture.path); !file.exists() || file.isDir()) {
        emit statusTextChanged(QString());
        return;
    }
    if (loaded) {
        emit enlargeButtonChanged(QStringLiteral("Ampliar"));
    } else if (supported) {
        // A picture that cannot be drawn (an empty file, one that is no picture) is not
        // told on selection: the view stays empty and "Ampliar" tries again and says why.
        showSmall(web ? PreviewTab::Web : PreviewTab::Image, PreviewPicture());
        emit enlargeButtonChanged(QStringLiteral("Ampliar"));
    } else {
        showSmall(PreviewTab::None, PreviewPicture());
        emit enlargeButtonChanged(QStringLiteral("Visualizar"));
    }
    EventPump::pump();
    // Overtaken by a click handled meanwhile: what it found is the newer showing's to record.
    if (overtaken(showing))
        return;

    if (ReviewRecords::examined(result)) {
        FirstShowing::record(m_store, result, idle, m_prompter);
        // What the file says now, also where nothing could be recorded (read-only media).
        if (!overtaken(showing))
            emit factsShown(PhotoFactsText::block(result.facts));
    }
    if (result.outcome == PictureReview::Outcome::Larger) {
        if (idle && !overtaken(showing)) {
            try {
                m_store.prepareThumbnailFolder();
                // The folder may have changed: a catalogue gets its identity at its first
                // thumbnail.
                picture.thumbnail = m_store.GetThumbnailName(recId);
                PictureReview::writeThumbnail(result, picture.thumbnail);
                try {
                    m_store.thumbnails()->kept({ recId });
                } catch (const DbError &) {
                    // The file stays here; the next review gives it to the catalogue.
                }
            } catch (const JpegError &e) {
                reportOnce(recId, e.message());
            }
        }
    }
    if (!overtaken(showing))
        emit statusTextChanged(QString());
}

bool PicturePreview::webPicture(const QString &path, const QString &fileType, const QSize &box,
    PreviewPicture *picture, QString *error) const
{
    const PictureMeasure measure = PictureMeasure::measure(path, fileType);
    if (!measure.isValid()) {
        if (error)
            *error = measure.errorText();
        return false;
    }
    const QSize size = measure.viewSize(box);
    if (fileType == QLatin1String("gif")) {
        QMovie probe(path);
        probe.setScaledSize(size);
        if (!probe.isValid() || !probe.jumpToFrame(0)) {
            if (error)
                *error = QStringLiteral("Não foi possível ler os dados da imagem.");
            return false;
        }
        *picture = PreviewPicture::playing(path, size);
        return true;
    }
    const QImage image = measure.decode(size, error);
    if (image.isNull())
        return false;
    *picture = PreviewPicture::still(image);
    return true;
}

void PicturePreview::BitBtn1Click(const QSize &box)
{
    RecordSet &pictures = m_store.TPictures;
    const StorageReach::PictureFile file = currentFile(m_store);
    if (!file.online) {
        // Never the file system's error on a disk in a drawer: which disk to connect.
        emit enlargementHidden(PreviewTab::Image);
        emit enlargementHidden(PreviewTab::Web);
        m_prompter.beep();
        m_prompter.warning(file.message);
        return;
    }
    const QString path = file.path;
    const QString fileType = pictures.asString(QStringLiteral("FileType"));
    const bool imageTab = m_tab == PreviewTab::Image;
    const bool webTab = m_tab == PreviewTab::Web;

    if (imageTab) {
        const PictureMeasure measure = PictureMeasure::measure(path, fileType);
        QString error;
        QImage image;
        if (measure.isValid())
            image = measure.decode(measure.viewSize(box), &error);
        else
            error = measure.errorText();
        if (image.isNull()) {
            // The page would stay empty: it goes away with the error.
            emit enlargementHidden(PreviewTab::Image);
            m_prompter.error(error);
            return;
        }
        emit enlargementShown(PreviewTab::Image, PreviewPicture::still(image));
    } else {
        emit enlargementHidden(PreviewTab::Image);
    }

    if (webTab) {
        PreviewPicture shown;
        QString error;
        if (!webPicture(path, fileType, box, &shown, &error)) {
            emit enlargementHidden(PreviewTab::Web);
            m_prompter.error(error);
            return;
        }
        emit enlargementShown(PreviewTab::Web, shown);
    } else {
        emit enlargementHidden(PreviewTab::Web);
    }

    if (!imageTab && !webTab) {
        if (fileType != QLatin1String("tif") && fileType != QLatin1String("pcx")) {
            m_desktop.openUrl(QUrl::fromLocalFile(path));
        } else {
            const QString viewer = PictureMeasure::picturePath(
                m_store.paths().ProgramFolder, QStringLiteral("kodakprv.exe"));
            if (QFileInfo::exists(viewer))
                m_desktop.startProgram(viewer, { path });
        }
    }
}
