#include "intake/picturepreview.h"

#include "store/dberror.h"
#include "core/eventpump.h"
#include "intake/jpegconv.h"
#include "widgets/pagecontrol.h"
#include "intake/picturemeasure.h"
#include "core/programpaths.h"
#include "core/prompter.h"
#include "store/recordset.h"
#include "store/tdados.h"
#include "intake/thumbnailencoder.h"
#include "intake/thumbsize.h"
#include "store/transaction.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

bool isWebType(const QString &fileType)
{
    return fileType == QLatin1String("gif") || fileType == QLatin1String("png");
}

bool isEditing(const RecordSet &set)
{
    return set.state() == RecordSet::State::Edit || set.state() == RecordSet::State::Insert;
}

// A JPEG's thumbnail written while the picture is loaded, under a hidden name beside the
// thumbnail: the view then draws it instead of decoding the picture a second time, and it
// takes the thumbnail's name only when the details have been recorded.
class PendingThumbnail {
public:
    PendingThumbnail() = default;
    PendingThumbnail(const PendingThumbnail &) = delete;
    PendingThumbnail &operator=(const PendingThumbnail &) = delete;
    ~PendingThumbnail() { discard(); }

    void make(const QString &source, const QString &target, const QSize &size)
    {
        const QFileInfo info(target);
        m_file = info.dir().filePath(QStringLiteral(".%1.%2.preview")
                                         .arg(info.fileName())
                                         .arg(QCoreApplication::applicationPid()));
        try {
            ConvertJPEGFile(source, m_file, size.width(), size.height(), kWhite);
            m_made = true;
        } catch (const JpegError &e) {
            m_error = e;
        }
    }
    bool made() const { return m_made; }
    const std::optional<JpegError> &error() const { return m_error; }
    QImage image() const { return m_made ? QImageReader(m_file).read() : QImage(); }

    // Puts the thumbnail in place in one step.
    void commitTo(const QString &target)
    {
        if (std::rename(
                QFile::encodeName(m_file).constData(), QFile::encodeName(target).constData())
            != 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            discard();
            QFile::remove(target);
            throw JpegError(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(QDir::toNativeSeparators(target), reason));
        }
        m_made = false;
        m_file.clear();
    }
    void discard()
    {
        if (!m_file.isEmpty())
            QFile::remove(m_file);
        m_file.clear();
        m_made = false;
    }

private:
    QString m_file;
    bool m_made = false;
    std::optional<JpegError> m_error;
};

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

void PicturePreview::ShowThumbnail()
{
    setStatus(QStringLiteral("Carregando imagem..."));
    EventPump::pumpNow();
    RecordSet &pictures = m_store.TPictures;
    QString name;
    bool review = true;
    try {
        name = m_store.GetThumbnailName(pictures.asInt(QStringLiteral("RecId")));
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
        LoadPicture();
        // A click handled while it loaded has shown another picture, with its own text.
        try {
            if (m_store.GetThumbnailName(pictures.asInt(QStringLiteral("RecId"))) != name)
                return;
        } catch (const DbError &) {
            return;
        }
    }

    if (QFileInfo::exists(name))
        setStatus(QString());
    else
        setStatus(QStringLiteral("Miniatura não disponível. Grave ") + name
            + QStringLiteral(" máximo 135px em 72dpi"));
}

void PicturePreview::LoadPicture()
{
    setStatus(QStringLiteral("Carregando imagem..."));
    EventPump::pumpNow();

    RecordSet &pictures = m_store.TPictures;
    QString path;
    QString fileType;
    QString thumbnailName;
    qint64 recId = 0;
    bool supported = false;
    try {
        path = PictureMeasure::picturePath(pictures.asString(QStringLiteral("FullPath")),
            pictures.asString(QStringLiteral("FileName")));
        fileType = pictures.asString(QStringLiteral("FileType"));
        recId = pictures.asInt(QStringLiteral("RecId"));
        thumbnailName = m_store.GetThumbnailName(recId);
        const QFileInfo file(path);
        if (!file.exists() || file.isDir()) {
            setStatus(QString());
            return;
        }
        RecordSet &formats = m_store.TFormats;
        supported = formats.locate(QStringLiteral("Extension"), fileType, true)
            && formats.asBool(QStringLiteral("Support"));
    } catch (const DbError &e) {
        setStatus(QString());
        m_prompter.error(e.message());
        return;
    }

    const bool web = isWebType(fileType);
    const QSize box = m_c.Image1->size();
    PictureMeasure measure;
    QImage view; // the picture as the small view draws it
    PendingThumbnail pending;
    bool loaded = false;
    if (supported) {
        if (!web) {
            measure = PictureMeasure::measure(path, fileType);
            if (measure.isValid()) {
                const std::optional<QSize> thumb = thumbnailSize(
                    measure.size().width(), measure.size().height(), box.width(), box.height());
                // One decode makes both the thumbnail and the view's picture: the writer's
                // fit is what the view would draw.
                if (thumb && measure.isJpeg() && !inProgress()) {
                    m_store.paths().ensureThumbnailFolder();
                    pending.make(path, thumbnailName, *thumb);
                    view = pending.image();
                }
                if (view.isNull())
                    view = measure.decode(measure.viewSize(box), nullptr);
            }
            if (!view.isNull()) {
                m_c.Image1->setPixmap(QPixmap::fromImage(view));
                showSmallTab(0);
                loaded = true;
            }
        } else if (showInWebView(
                       m_c.WebBrowser1, m_smallMovie, path, fileType, box, nullptr, nullptr)) {
            m_c.Image1->clear();
            showSmallTab(1);
            loaded = true;
        }
        if (loaded) {
            m_c.BitBtn1->setText(QStringLiteral("Ampliar"));
            m_c.BitBtn1->setEnabled(true);
        } else {
            clearThumbnail();
        }
    } else {
        clearThumbnail();
        m_c.PageControl3->setPageVisible(0, false);
        m_c.PageControl3->setPageVisible(1, false);
        m_c.PageControl3->setActivePageIndex(-1);
        m_c.BitBtn1->setText(QStringLiteral("Visualizar"));
        m_c.BitBtn1->setEnabled(true);
    }
    EventPump::pump();
    // A click handled meanwhile may have shown another picture: these details are not its.
    try {
        if (pictures.asInt(QStringLiteral("RecId")) != recId)
            return;
    } catch (const DbError &) {
        return;
    }

    const QSize size = measure.size();
    if (loaded && !web && (size.width() > box.width() || size.height() > box.height())) {
        const QSize thumb
            = thumbnailSize(size.width(), size.height(), box.width(), box.height()).value_or(size);
        const bool idle = !inProgress();
        std::optional<Transaction> transaction;
        try {
            if (idle) {
                transaction.emplace(m_store.Conexao);
                pictures.edit();
            }
            if (const std::optional<int> colorType = measure.colorType())
                pictures.setValue(QStringLiteral("ColorType"), *colorType);
            pictures.setValue(QStringLiteral("Width"), size.width());
            pictures.setValue(QStringLiteral("Height"), size.height());
            if (idle) {
                pictures.setValue(QStringLiteral("Review"), false);
                pictures.post();
                transaction->commit();
            }
        } catch (const DbError &e) {
            if (idle) {
                // Whatever was posted stays; a row left in edit would lock the page.
                try {
                    if (isEditing(pictures))
                        pictures.cancel();
                    if (transaction && transaction->active())
                        transaction->commit();
                } catch (const DbError &) {
                }
            }
            m_prompter.error(e.message());
        }

        if (idle) {
            // The writer's failures reach the window's error display, never further.
            try {
                m_store.paths().ensureThumbnailFolder();
                if (!measure.isJpeg()) {
                    ThumbnailEncoder::writeFile(
                        view, thumbnailName, thumb.width(), thumb.height(), kWhite);
                } else if (pending.made()) {
                    pending.commitTo(thumbnailName);
                } else if (pending.error()) {
                    QFile::remove(thumbnailName);
                    throw *pending.error();
                } else {
                    ConvertJPEGFile(path, thumbnailName, thumb.width(), thumb.height(), kWhite);
                }
            } catch (const JpegError &e) {
                m_prompter.error(e.message());
            }
        }
    }
    pending.discard();
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
                *error = QStringLiteral("Unable to read image data");
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
                startProgram(viewer, { QLatin1Char('"') + path + QLatin1Char('"') });
        }
    }
}
