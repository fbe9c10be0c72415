#include "intake/picturepreview.h"

#include "core/desktopshell.h"
#include "core/eventpump.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "intake/jpegerror.h"
#include "intake/picturemeasure.h"
#include "intake/picturereview.h"
#include "store/dberror.h"
#include "store/recordset.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QFile>
#include <QFileInfo>
#include <QMovie>
#include <QUrl>

#include <optional>

namespace {

// The details of a larger picture into the current row: in a transaction of its own when
// the person is not editing it, else into the edited row, saved with the person's Post.
void recordDetails(
    TDados &store, const PictureReview::Result &result, bool idle, Prompter &prompter)
{
    RecordSet &pictures = store.TPictures;
    std::optional<Transaction> transaction;
    try {
        if (idle) {
            transaction.emplace(store.Conexao);
            pictures.edit();
        }
        for (const auto &[column, value] : PictureReview::details(result, idle))
            pictures.setValue(column, value);
        if (idle) {
            pictures.post();
            transaction->commit();
        }
    } catch (const DbError &e) {
        if (idle) {
            // Whatever was posted stays; a row left in edit would lock the page.
            try {
                if (pictures.isEditing())
                    pictures.cancel();
                if (transaction && transaction->active())
                    transaction->commit();
            } catch (const DbError &) {
            }
        }
        prompter.error(e.message());
    }
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
        review = pictures.asBool(QStringLiteral("Review"));
    } catch (const DbError &) {
        // The status panel is emptied before the general error display tells it.
        emit statusTextChanged(QString());
        throw;
    }
    emit smallPreviewCleared();

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
    try {
        picture.path = PictureMeasure::picturePath(pictures.asString(QStringLiteral("FullPath")),
            pictures.asString(QStringLiteral("FileName")));
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

    if (result.outcome == PictureReview::Outcome::Larger) {
        recordDetails(m_store, result, idle, m_prompter);
        if (idle && !overtaken(showing)) {
            try {
                m_store.prepareThumbnailFolder();
                // The folder may have changed: a catalogue gets its identity at its first
                // thumbnail.
                picture.thumbnail = m_store.GetThumbnailName(recId);
                PictureReview::writeThumbnail(result, picture.thumbnail);
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
    const QString path = PictureMeasure::picturePath(pictures.asString(QStringLiteral("FullPath")),
        pictures.asString(QStringLiteral("FileName")));
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
