#include "browser/catalogbrowser.h"
#include "browser/foldertreemodel.h"
#include "browser/thumbnailgridmodel.h"
#include "cataloguegenerator.h"
#include "core/programpaths.h"
#include "core/scriptedprompter.h"
#include "processmemory.h"
#include "store/connection.h"
#include "store/statement.h"
#include "store/tdados.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

// The "Miniaturas" grid of a category of 100,000 pictures and of a folder of 100,000
// pictures: from the node's selection to its first screen of thumbnails painted, against a
// bare loop that loads the same shown thumbnail files with QImage, interleaved in the same
// run; then a scroll through all 100,000 thumbnails, one screen a frame, timing every paint
// and every pass of the event loop on the window thread, and the resident memory it grows.
//
// bench_grid [--dir FOLDER] [--pictures 200000] [--rounds 7] [--scroll no]
// Pictures 1 to 100,000 form one category; 100,001 to 200,000 one folder of one storage.
// Each thumbnail file is a hard link to one of 400 distinct JPEGs (their bytes all read).

namespace {

using processmemory::currentRssKb;

constexpr int kGroup = 100000;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void exec(Connection &c, const QString &sql)
{
    Statement s(c, sql);
    s.exec();
}

// The catalogue, its category and folder, and the thumbnails, made once in FOLDER.
bool prepare(const QString &dir, qint64 pictures, qint64 *category, qint64 *storage)
{
    const QString file = dir + "/quillomar.mdb";
    const QString thumbs = dir + "/thumbs";
    if (!QFile::exists(file)) {
        std::printf("generating %lld pictures...\n", static_cast<long long>(pictures));
        generateCatalogue(file, pictures);
        Connection c;
        c.openFile(file);
        c.beginTransaction();
        exec(c, "INSERT INTO Collections (Name, System) VALUES ('Banco de ensaio', 0)");
        exec(c, "INSERT INTO Categories (Collection, Name, System) VALUES "
                "((SELECT MAX(RecId) FROM Collections), 'Cem mil', 0)");
        exec(c, "INSERT INTO Storages (Name, Unit, System) VALUES ('Disco de ensaio', "
                "'/media/ENSAIO', 0)");
        exec(c, QString("UPDATE Pictures SET Collection = (SELECT MAX(RecId) FROM Collections), "
                        "Category = (SELECT MAX(RecId) FROM Categories), Review = 0 "
                        "WHERE RecId <= %1")
                    .arg(kGroup));
        exec(c, QString("UPDATE Pictures SET Location = (SELECT MAX(RecId) FROM Storages), "
                        "FullPath = '/media/ENSAIO/2024/dia/', Review = 0 "
                        "WHERE RecId > %1 AND RecId <= %2")
                    .arg(kGroup)
                    .arg(2 * kGroup));
        c.commit();
        c.close();
    }
    if (!QFile::exists(thumbs + "/.done")) {
        std::printf("writing thumbnails...\n");
        QDir().mkpath(thumbs + "/distinct");
        QRandomGenerator random(7);
        QStringList distinct;
        for (int i = 0; i < 400; ++i) {
            const bool tall = i % 4 == 0;
            QImage image(tall ? QSize(101, 135) : QSize(135, 101), QImage::Format_RGB32);
            QPainter p(&image);
            p.fillRect(image.rect(), QColor::fromHsv(i * 7 % 360, 120, 200));
            for (int k = 0; k < 40; ++k) {
                p.setBrush(QColor::fromRgb(random.generate()));
                p.drawEllipse(QPoint(random.bounded(135), random.bounded(135)),
                    random.bounded(4, 30), random.bounded(4, 30));
            }
            p.end();
            const QString name = thumbs + QString("/distinct/%1.jpg").arg(i);
            image.save(name, "JPEG", 90);
            distinct << name;
        }
        for (qint64 key = 1; key <= 2 * kGroup; ++key) {
            const QString target = thumbs + QString("/%1.jpg").arg(key, 8, 10, QLatin1Char('0'));
            QFile::remove(target);
            if (::link(QFile::encodeName(distinct[int(key % 400)]).constData(),
                    QFile::encodeName(target).constData())
                != 0)
                return false;
        }
        QFile done(thumbs + "/.done");
        done.open(QIODevice::WriteOnly);
    }
    Connection c;
    c.openFile(file);
    Statement cat(c, QStringLiteral("SELECT MAX(RecId) FROM Categories"));
    cat.step();
    *category = cat.integer(0);
    cat.reset();
    Statement st(c, QStringLiteral("SELECT MAX(RecId) FROM Storages"));
    st.step();
    *storage = st.integer(0);
    st.reset();
    return true;
}

// Runs the window's events until the grid has read every row on show; returns the longest
// single pass of the event loop, in milliseconds.
double settle(ThumbnailGridModel &model, std::vector<double> *passes = nullptr)
{
    double longest = 0;
    do {
        QElapsedTimer t;
        t.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double ms = t.nsecsElapsed() / 1e6;
        longest = std::max(longest, ms);
        if (passes)
            passes->push_back(ms);
        if (!model.isIdle())
            QThread::usleep(200);
    } while (!model.isIdle());
    return longest;
}

// Times every event the window thread handles (outermost deliveries only): while one runs,
// the window can neither paint nor answer, so the longest is the longest frame.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth++ > 0 || !recording) {
            const bool r = QApplication::notify(receiver, event);
            --m_depth;
            return r;
        }
        QElapsedTimer t;
        t.start();
        const bool r = QApplication::notify(receiver, event);
        --m_depth;
        events.push_back(t.nsecsElapsed() / 1e6);
        return r;
    }
    bool recording = false;
    std::vector<double> events;

private:
    int m_depth = 0;
};

} // namespace

int main(int argc, char **argv)
{
    TimedApplication app(argc, argv);
    QString dir = QDir::tempPath() + "/quillomar-bench-grid";
    qint64 pictures = 2 * kGroup;
    int rounds = 7;
    bool scroll = true;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--dir")
            dir = args[i + 1];
        else if (args[i] == "--pictures")
            pictures = std::max<qint64>(2 * kGroup, args[i + 1].toLongLong());
        else if (args[i] == "--scroll")
            scroll = args[i + 1] != "no";
        else if (args[i] == "--rounds")
            rounds = std::max(1, args[i + 1].toInt());
    }
    QDir().mkpath(dir);
    qint64 categoryKey = 0, storageKey = 0;
    if (!prepare(dir, pictures, &categoryKey, &storageKey)) {
        std::fprintf(stderr, "could not prepare %s\n", qPrintable(dir));
        return 1;
    }

    ProgramPaths paths = ProgramPaths::forProgram(dir + "/quillomar");
    ScriptedPrompter prompter;
    TDados store(paths, prompter);
    if (!store.OpenDatabaseAll()) {
        std::fprintf(stderr, "%s\n", qPrintable(prompter.boxTexts().join(" / ")));
        return 1;
    }
    CatalogBrowser browser(store, prompter);
    browser.resize(1024, 740);
    browser.show();
    browser.LoadTrees();
    QCoreApplication::processEvents();
    auto *grid = browser.findChild<QListView *>("ThumbnailGrid");
    auto *model = static_cast<ThumbnailGridModel *>(grid->model());
    auto *folders = browser.findChild<QTreeView *>("TreeView3");
    auto *folderModel = static_cast<FolderTreeModel *>(folders->model());
    const QString thumbs = store.thumbnailFolder();
    std::printf("catalogue %s, thumbnails %s, window 1024x740\n",
        qPrintable(store.Conexao.filePath()), qPrintable(thumbs));

    const int categoryNode = browser.TreeView1Nodes().indexOf(NodeKind::Category, categoryKey);
    const int otherNode = 0; // the first collection
    // The folder node: storage, "2024", "dia".
    QModelIndex folderIndex = folderModel->storageIndex(storageKey);
    for (const char *level : { "2024", "dia" }) {
        folderModel->fetchMore(folderIndex);
        for (int r = 0; r < folderModel->rowCount(folderIndex); ++r)
            if (folderModel->index(r, 0, folderIndex).data().toString() == level) {
                folderIndex = folderModel->index(r, 0, folderIndex);
                break;
            }
    }

    std::printf("folder node: %s (%s)\n", qPrintable(folderModel->path(folderIndex)),
        folderIndex.isValid() ? "found" : "not found");
    using Sender = CatalogBrowser::Sender;
    const auto showCategory = [&] {
        browser.setActiveTree(TreePane::Tree::Organisation);
        browser.selectNode(TreePane::Tree::Organisation, categoryNode, false);
        browser.TreeViewClick(Sender::OrganisationTree);
    };
    const auto showFolder = [&] {
        folders->selectionModel()->setCurrentIndex(
            folderIndex, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    const auto leave = [&] {
        // Another node's grid in between, then none: each round starts cold.
        folders->selectionModel()->clear();
        browser.selectNode(TreePane::Tree::Organisation, otherNode, false);
        browser.TreeViewClick(Sender::OrganisationTree);
        browser.setActiveView(CatalogBrowser::View::Thumbnails);
        QCoreApplication::processEvents();
        model->clear();
        QCoreApplication::processEvents();
    };
    // The grid's first screen: selection to every shown thumbnail painted.
    const auto firstScreen = [&](const std::function<void()> &select, QVector<qint64> *shown) {
        leave();
        browser.setActiveView(CatalogBrowser::View::Thumbnails);
        QElapsedTimer t;
        t.start();
        select();
        if (browser.activeView() != CatalogBrowser::View::Thumbnails)
            browser.setActiveView(CatalogBrowser::View::Thumbnails);
        grid->viewport()->repaint();
        settle(*model);
        grid->viewport()->repaint();
        const double ms = t.nsecsElapsed() / 1e6;
        if (shown) {
            shown->clear();
            for (int r = 0; r < model->rowCount(); ++r) {
                const QRect cell = grid->visualRect(model->index(r));
                if (cell.intersects(grid->viewport()->rect()))
                    shown->append(model->key(r));
                else if (cell.top() > grid->viewport()->height())
                    break;
            }
        }
        return ms;
    };
    // The anchor: a bare loop that reads the same keys (one statement, in name order) and
    // loads the same shown thumbnail files with QImage, one after another.
    const auto bareLoop = [&](bool folder, const QVector<qint64> &keys) {
        QElapsedTimer t;
        t.start();
        QVector<qint64> read;
        {
            Statement s(store.Conexao,
                folder ? QStringLiteral("SELECT RecId FROM Pictures WHERE Location = :K AND "
                                        "FullPath = '/media/ENSAIO/2024/dia/' ORDER BY Name")
                       : QStringLiteral(
                           "SELECT RecId FROM Pictures WHERE Category = :K ORDER BY Name"));
            Statement::Reset done(s);
            s.bind(QStringLiteral("K"), folder ? storageKey : categoryKey);
            while (s.step())
                read.append(s.integer(0));
        }
        const double keysMs = t.nsecsElapsed() / 1e6;
        qint64 pixels = 0;
        for (qint64 key : keys) {
            QImage image(
                QDir(thumbs).filePath(QString("%1.jpg").arg(key, 8, 10, QLatin1Char('0'))));
            pixels += image.width();
        }
        if (pixels == 0 || read.size() != kGroup)
            std::printf("(anchor read %lld keys)\n", static_cast<long long>(read.size()));
        return std::pair<double, double>(t.nsecsElapsed() / 1e6, keysMs);
    };

    for (const char *what : { "category", "folder" }) {
        const bool folder = QByteArray(what) == "folder";
        const std::function<void()> select = folder ? std::function<void()>(showFolder)
                                                    : std::function<void()>(showCategory);
        QVector<qint64> shown;
        firstScreen(select, &shown); // warms the files' pages, the statements, the threads
        std::vector<double> gridMs, anchorMs, filesMs;
        for (int i = 0; i < rounds; ++i) {
            const auto [all, keys] = bareLoop(folder, shown);
            anchorMs.push_back(all);
            filesMs.push_back(all - keys);
            gridMs.push_back(firstScreen(select, nullptr));
        }
        const double g = median(gridMs), a = median(anchorMs), files = median(filesMs);
        std::printf("%-8s %d keys, first screen %lld thumbnails: grid %.1f ms (best %.1f); bare "
                    "loop %.1f ms (keys in one statement %.1f, files %.1f); ratio %.2f (%.1f "
                    "against the files alone)\n",
            what, int(model->rowCount()), static_cast<long long>(shown.size()), g,
            *std::min_element(gridMs.begin(), gridMs.end()), a, a - files, files, g / a,
            g / files);
    }

    // What the selection handling of the detail pages costs alone (the grid not on show), and
    // what the grid costs alone (its keys set, laid out, its first screen read and painted).
    {
        std::vector<double> selectionMs, gridAloneMs;
        for (int i = 0; i < rounds; ++i) {
            leave();
            browser.setActiveView(CatalogBrowser::View::Record);
            QElapsedTimer t;
            t.start();
            showCategory();
            selectionMs.push_back(t.nsecsElapsed() / 1e6);
            const QVector<qint64> keys = model->keys().isEmpty() ? QVector<qint64>() : model->keys();
            (void)keys;
        }
        auto *page = grid->parentWidget();
        (void)page;
        for (int i = 0; i < rounds; ++i) {
            browser.setActiveView(CatalogBrowser::View::Thumbnails);
            QVector<qint64> keys;
            keys.reserve(kGroup);
            for (qint64 k = 1; k <= kGroup; ++k)
                keys.append(k);
            model->clear();
            QCoreApplication::processEvents();
            QElapsedTimer t;
            t.start();
            model->setKeys(keys);
            grid->doItemsLayout();
            const double layout = t.nsecsElapsed() / 1e6;
            grid->viewport()->repaint();
            const double paint1 = t.nsecsElapsed() / 1e6;
            settle(*model);
            const double read = t.nsecsElapsed() / 1e6;
            grid->viewport()->repaint();
            gridAloneMs.push_back(t.nsecsElapsed() / 1e6);
            std::printf("         (keys set and laid out %.1f ms, first paint +%.1f, rows read "
                        "+%.1f, painted +%.1f)\n",
                layout, paint1 - layout, read - paint1, t.nsecsElapsed() / 1e6 - read);
        }
        std::printf("parts    selection handling of the category without the grid %.1f ms; the "
                    "grid alone from its keys to its first screen painted %.1f ms\n",
            median(selectionMs), median(gridAloneMs));
    }

    if (!scroll)
        return 0;
    // Scrolling through the folder's 100,000 thumbnails, a screen a frame, down and back up.
    firstScreen(showFolder, nullptr);
    const long rssBefore = currentRssKb();
    QScrollBar *bar = grid->verticalScrollBar();
    std::vector<double> paints, passes;
    long rssPeak = rssBefore;
    QElapsedTimer whole;
    whole.start();
    int frames = 0;
    app.recording = true;
    for (int direction : { 1, -1 }) {
        for (int v = direction > 0 ? 0 : bar->maximum();
             direction > 0 ? v <= bar->maximum() : v >= 0; v += direction * bar->pageStep()) {
            bar->setValue(v);
            QElapsedTimer t;
            t.start();
            grid->viewport()->repaint();
            paints.push_back(t.nsecsElapsed() / 1e6);
            settle(*model, &passes);
            QElapsedTimer t2;
            t2.start();
            grid->viewport()->repaint();
            paints.push_back(t2.nsecsElapsed() / 1e6);
            if (++frames % 500 == 0)
                rssPeak = std::max(rssPeak, currentRssKb());
        }
    }
    app.recording = false;
    rssPeak = std::max(rssPeak, currentRssKb());
    std::printf("events   %zu handled on the window thread while scrolling: median %.3f ms, p99 "
                "%.2f ms, max %.2f ms\n",
        app.events.size(), median(app.events), percentile(app.events, 0.99),
        *std::max_element(app.events.begin(), app.events.end()));
    std::printf("scroll   %d screens down and up in %.1f s: paint median %.2f ms, p99 %.2f ms, "
                "max %.2f ms; event-loop pass median %.2f ms, p99 %.2f ms, max %.2f ms\n",
        frames, whole.nsecsElapsed() / 1e9, median(paints), percentile(paints, 0.99),
        *std::max_element(paints.begin(), paints.end()), median(passes),
        percentile(passes, 0.99), *std::max_element(passes.begin(), passes.end()));
    std::printf("memory   resident %ld MiB before the scroll, growth at most %ld MiB, at the end "
                "%ld MiB\n",
        rssBefore / 1024, (rssPeak - rssBefore) / 1024, (currentRssKb() - rssBefore) / 1024);
    return 0;
}
