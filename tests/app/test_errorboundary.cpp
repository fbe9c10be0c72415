#include "app/quillomarapplication.h"
#include "app/startup.h"
#include "app/tabertura.h"
#include "batch/transfererror.h"
#include "browser/catalogbrowser.h"
#include "core/errorboundary.h"
#include "core/scriptedprompter.h"
#include "intake/jpegerror.h"
#include "store/dberror.h"
#include "support/catalogfixture.h"
#include "support/windowdriver.h"

#include <QSignalSpy>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <stdexcept>

using testsupport::child;

namespace {

// The main window over a small catalogue, as the program starts.
struct Window {
    CatalogFixture f;
    ScriptedPrompter prompter;
    std::unique_ptr<Startup> app;
    qint64 picture = 0;

    Window()
    {
        const qint64 trips = f.collection("Viagens");
        picture = f.picture(trips, f.category(trips, "Roma"), f.storage("Disco"), "forum");
        app = std::make_unique<Startup>(f.folder.paths, &prompter);
        app->createWindows();
        QSignalSpy done(app->Abertura.get(), &TAbertura::startupLoadingDone);
        app->Abertura->show();
        QTRY_COMPARE(done.count(), 1);
        static_cast<QuillomarApplication *>(qApp)->setErrorDisplay(&prompter);
        prompter.clear();
    }
    ~Window() { static_cast<QuillomarApplication *>(qApp)->setErrorDisplay(nullptr); }
    QString lastBox() const { return prompter.boxTexts().value(prompter.boxTexts().size() - 1); }
    void clickPicture()
    {
        auto *tree = child<QTreeView>(app->Abertura.get(), "TreeView1");
        testsupport::clickNode(tree,
            static_cast<const CatalogTree *>(tree->model())
                ->indexOfCode(QStringLiteral("N3=%1").arg(picture)));
    }
};

} // namespace

class TestErrorBoundary : public QObject {
    Q_OBJECT
private slots:
    void eachComponentIsToldInItsOwnWords()
    {
        using ErrorBoundary::textOf;
        QCOMPARE(textOf(std::make_exception_ptr(DbError("database is locked", 5))),
            QStringLiteral("database is locked"));
        QCOMPARE(textOf(std::make_exception_ptr(TransferError("Falha na conexão!"))),
            QStringLiteral("Falha na conexão!"));
        QCOMPARE(textOf(std::make_exception_ptr(JpegError("JPEG error #42", 42))),
            QStringLiteral("JPEG error #42"));
        QCOMPARE(textOf(std::make_exception_ptr(std::runtime_error("sem memória"))),
            QStringLiteral("sem memória"));
        QCOMPARE(textOf(std::make_exception_ptr(42)), QStringLiteral("Erro inesperado."));

        // A guarded handler is called with what it takes; a failure is its box.
        ScriptedPrompter prompter;
        int got = 0;
        guarded(prompter, [&](int v) { got = v; })(7);
        QCOMPARE(got, 7);
        QVERIFY(prompter.boxTexts().isEmpty());
        guarded(prompter, [] { throw DbError("no such table: Pictures"); })();
        QCOMPARE(prompter.boxTexts(), QStringList { "no such table: Pictures" });
        QCOMPARE(prompter.boxes().first().icon, Prompter::Icon::Error);
    }

    // A handler that fails without catching ends only its own action: the error box tells
    // the component's text, and the window goes on taking clicks.
    void aFailureNoHandlerCaughtIsShownAndTheProgramGoesOn()
    {
        Window w;
        auto *batch = child<QToolButton>(w.app->Abertura.get(), "ToolButton4");
        const QList<std::function<void()>> failures {
            [] { throw DbError("disk I/O error", 10); },
            [] { throw TransferError("530 Login incorrect."); },
            [] { throw JpegError("JPEG error #53", 53); },
            [] { throw std::runtime_error("std::bad_alloc"); },
        };
        const QStringList texts
            = { "disk I/O error", "530 Login incorrect.", "JPEG error #53", "std::bad_alloc" };
        for (int i = 0; i < failures.size(); ++i) {
            // Connected as a careless handler would be: nothing of its own catches.
            const QMetaObject::Connection careless
                = QObject::connect(batch, &QToolButton::clicked, failures[i]);
            w.prompter.clear();
            QTest::mouseClick(batch, Qt::LeftButton);
            QObject::disconnect(careless);
            // The batch's own handler ran first ("Lote vazio!"), then the failure was told.
            QCOMPARE(w.lastBox(), texts[i]);
            QCOMPARE(w.prompter.boxes().last().icon, Prompter::Icon::Error);
        }
        // The program goes on: a click on a picture shows its page.
        QVERIFY(w.app->Abertura->isVisible());
        w.prompter.clear();
        w.clickPicture();
        QCOMPARE(w.app->Abertura->browser().selection().key(), w.picture);
        QVERIFY(w.prompter.boxTexts().isEmpty());
    }

    // A real handler meets an engine error no code of its own catches any more.
    void aHandlersEngineErrorShowsItsBoxOnce()
    {
        Window w;
        w.f.exec("ALTER TABLE Collections RENAME TO Gone");
        w.prompter.clear();
        w.prompter.answerText(QStringLiteral("fo"));
        QTest::mouseClick(child<QToolButton>(w.app->Abertura.get(), "ToolButton3"), Qt::LeftButton);
        QCOMPARE(w.prompter.boxTexts().size(), 1);
        QVERIFY2(w.lastBox().contains("Collections"), qPrintable(w.lastBox()));
        w.f.exec("ALTER TABLE Gone RENAME TO Collections");
        w.prompter.clear();
        w.prompter.answerText(QStringLiteral("fo"));
        QTest::mouseClick(child<QToolButton>(w.app->Abertura.get(), "ToolButton3"), Qt::LeftButton);
        QVERIFY(w.prompter.boxTexts().isEmpty());
        QCOMPARE(w.app->Abertura->browser().activePage(), CatalogBrowser::Page::Search);
    }
};

int main(int argc, char **argv)
{
    QuillomarApplication app(argc, argv);
    TestErrorBoundary test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_errorboundary.moc"
