#include "intake/picturepreview.h"

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
#include "widgets/pagecontrol.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMovie>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

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
    const Controls &controls, TDados &store, Prompter &prompter, QObject *parent)
    : QObject(parent), m_c(controls), m_store(store), m_prompter(prompter)
{
    setObjectName(QStringLiteral("PicturePreview"));
    openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    startProgram = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    // The enlargement pages scale the picture to themselves, not themselves to it.
    for (QLabel *label : { m_c.Image2, m_c.WebBrowser2 }) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        label->setMinimumSize(1, 1);
        label->installEventFilter(this);
    }
}

PicturePreview::~PicturePreview() = default;

void PicturePreview::setStatus(const QString &text)
{
    if (setStatusText)
        setStatusText(text);
}

void PicturePreview::showSmallTab(int index)
{
    m_c.PageControl3->setPageVisible(index, true);
    m_c.PageControl3->setPageVisible(1 - index, false);
    m_c.PageControl3->setActivePageIndex(index);
    if (index == 0)
        clearWebView(m_c.WebBrowser1, m_smallMovie);
}

void PicturePreview::clearWebView(QLabel *label, QPointer<QMovie> &movie)
{
    if (movie) {
        movie->stop();
        label->setMovie(nullptr);
        delete movie;
    }
    label->clear();
}

void PicturePreview::clearThumbnail()
{
    m_c.Image1->clear();
    clearWebView(m_c.WebBrowser1, m_smallMovie);
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
    setStatus(QStringLiteral("Carregando imagem..."));
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
    } catch (const DbError &e) {
        setStatus(QString());
        m_prompter.error(e.message());
        return;
    }
    clearThumbnail();

    if (!review && QFileInfo(name).isFile()) {
        const PictureMeasure thumbnail = PictureMeasure::measure(name, QStringLiteral("jpg"));
        QString error;
        const QImage image = thumbnail.decode(thumbnail.viewSize(m_c.Image1->size()), &error);
        if (image.isNull()) {
            // An unreadable file under the thumbnail's name is the thumbnail all the same.
            m_prompter.error(error);
        } else {
            m_c.Image1->setPixmap(QPixmap::fromImage(image));
        }
        showSmallTab(0);
        m_c.BitBtn1->setEnabled(true);
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
        setStatus(QString());
    else
        setStatus(QStringLiteral("Miniatura não disponível. Grave ") + name
            + QStringLiteral(" máximo 135px em 72dpi"));
}

void PicturePreview::LoadPicture()
{
    loadPicture(++m_showing);
}

void PicturePreview::loadPicture(quint64 showing)
{
    setStatus(QStringLiteral("Carregando imagem..."));
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
    } catch (const DbError &e) {
        setStatus(QString());
        m_prompter.error(e.message());
        return;
    }

    const bool web = PictureReview::isWebType(picture.fileType);
    const bool idle = !inProgress();
    PictureReview::Result result;
    bool loaded = false;
    if (supported && !web) {
        result = PictureReview::examine(picture, m_c.Image1->size(), idle);
        if (result.outcome == PictureReview::Outcome::Missing) {
            setStatus(QString());
            return;
        }
        loaded = !result.view.isNull();
        if (loaded) {
            m_c.Image1->setPixmap(QPixmap::fromImage(result.view));
            showSmallTab(0);
        }
    } else if (supported) {
        if (!QFileInfo(picture.path).isFile()) { // absent, a folder, or not a regular file
            setStatus(QString());
            return;
        }
        loaded = showInWebView(m_c.WebBrowser1, m_smallMovie, picture.path, picture.fileType,
            m_c.Image1->size(), nullptr, nullptr);
        if (loaded) {
            m_c.Image1->clear();
            showSmallTab(1);
        }
    } else if (const QFileInfo file(picture.path); !file.exists() || file.isDir()) {
        setStatus(QString());
        return;
    }
    if (loaded) {
        m_c.BitBtn1->setText(QStringLiteral("Ampliar"));
        m_c.BitBtn1->setEnabled(true);
    } else if (supported) {
        // A picture that cannot be drawn (an empty file, one that is no picture) is not
        // told on selection: the view stays empty and "Ampliar" tries again and says why.
        clearThumbnail();
        showSmallTab(web ? 1 : 0);
        m_c.BitBtn1->setText(QStringLiteral("Ampliar"));
        m_c.BitBtn1->setEnabled(true);
    } else {
        clearThumbnail();
        m_c.PageControl3->setPageVisible(0, false);
        m_c.PageControl3->setPageVisible(1, false);
        m_c.PageControl3->setActivePageIndex(-1);
        m_c.BitBtn1->setText(QStringLiteral("Visualizar"));
        m_c.BitBtn1->setEnabled(true);
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
        setStatus(QString());
}

bool PicturePreview::showInWebView(QLabel *label, QPointer<QMovie> &movie, const QString &path,
    const QString &fileType, const QSize &box, QImage *still, QString *error)
{
    clearWebView(label, movie);
    const PictureMeasure measure = PictureMeasure::measure(path, fileType);
    if (!measure.isValid()) {
        if (error)
            *error = measure.errorText();
        return false;
    }
    const QSize size = measure.viewSize(box);
    if (fileType == QLatin1String("gif")) {
        auto *player = new QMovie(path, QByteArray(), this);
        player->setScaledSize(size);
        if (!player->isValid() || !player->jumpToFrame(0)) {
            if (error)
                *error = QStringLiteral("Não foi possível ler os dados da imagem.");
            delete player;
            return false;
        }
        movie = player;
        label->setMovie(player);
        player->start();
        return true;
    }
    const QImage image = measure.decode(size, error);
    if (image.isNull())
        return false;
    if (still)
        *still = image;
    label->setPixmap(QPixmap::fromImage(image));
    return true;
}

QSize PicturePreview::enlargementBox() const
{
    const QScreen *screen = m_c.Image2->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    QSize box = screen ? screen->availableSize() : QSize(1920, 1080);
    return box.expandedTo(m_c.Image2->size()).expandedTo(QSize(1, 1));
}

void PicturePreview::fitEnlargement(QLabel *label, const QImage &image, QMovie *movie)
{
    const QSize room = label->contentsRect().size().expandedTo(QSize(1, 1));
    if (movie) {
        QSize size = m_largeMovieSize;
        if (size.width() > room.width() || size.height() > room.height())
            size.scale(room, Qt::KeepAspectRatio);
        movie->setScaledSize(size.expandedTo(QSize(1, 1)));
        return;
    }
    if (image.isNull())
        return;
    if (image.width() > room.width() || image.height() > room.height())
        label->setPixmap(
            QPixmap::fromImage(image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    else
        label->setPixmap(QPixmap::fromImage(image));
}

bool PicturePreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == m_c.Image2)
            fitEnlargement(m_c.Image2, m_enlarged, nullptr);
        else if (watched == m_c.WebBrowser2)
            fitEnlargement(m_c.WebBrowser2, m_webEnlarged, m_largeMovie);
    }
    return QObject::eventFilter(watched, event);
}

void PicturePreview::BitBtn1Click()
{
    RecordSet &pictures = m_store.TPictures;
    QString path;
    QString fileType;
    try {
        path = PictureMeasure::picturePath(pictures.asString(QStringLiteral("FullPath")),
            pictures.asString(QStringLiteral("FileName")));
        fileType = pictures.asString(QStringLiteral("FileType"));
    } catch (const DbError &e) {
        m_prompter.error(e.message());
        return;
    }
    const bool imageTab = m_c.PageControl3->isPageVisible(0);
    const bool webTab = m_c.PageControl3->isPageVisible(1);
    PageControl *pages = m_c.PageControl2;
    const int imagePage = pages->indexOf(m_c.TabSheet9);
    const int webPage = pages->indexOf(m_c.TabSheet10);

    pages->setPageVisible(imagePage, imageTab);
    if (imageTab) {
        m_enlarged = QImage();
        m_c.Image2->clear();
        const PictureMeasure measure = PictureMeasure::measure(path, fileType);
        QString error;
        QImage image;
        if (measure.isValid())
            image = measure.decode(measure.viewSize(enlargementBox()), &error);
        else
            error = measure.errorText();
        if (image.isNull()) {
            // The page would stay empty: it goes away with the error.
            pages->setPageVisible(imagePage, false);
            m_prompter.error(error);
            return;
        }
        m_enlarged = image;
        pages->setActivePageIndex(imagePage);
        fitEnlargement(m_c.Image2, m_enlarged, nullptr);
    }

    pages->setPageVisible(webPage, webTab);
    if (webTab) {
        m_webEnlarged = QImage();
        QString error;
        if (!showInWebView(m_c.WebBrowser2, m_largeMovie, path, fileType, enlargementBox(),
                &m_webEnlarged, &error)) {
            pages->setPageVisible(webPage, false);
            m_prompter.error(error);
            return;
        }
        if (m_largeMovie)
            m_largeMovieSize = m_largeMovie->scaledSize();
        pages->setActivePageIndex(webPage);
        fitEnlargement(m_c.WebBrowser2, m_webEnlarged, m_largeMovie);
    } else {
        clearWebView(m_c.WebBrowser2, m_largeMovie);
    }

    if (!imageTab && !webTab) {
        if (fileType != QLatin1String("tif") && fileType != QLatin1String("pcx")) {
            if (openUrl)
                openUrl(QUrl::fromLocalFile(path));
        } else {
            const QString viewer = PictureMeasure::picturePath(
                m_store.paths().ProgramFolder, QStringLiteral("kodakprv.exe"));
            if (QFileInfo::exists(viewer) && startProgram)
                startProgram(viewer, { path });
        }
    }
}
