// The window asks for a catalogue password the server wants or refuses, in its own dialog,
// and can keep it in the keyring. Run twice: with a keyring of its own
// (support/withkeyring.sh) and with the session bus pointed nowhere, where none answers.
#include "app/startup.h"
#include "app/tabertura.h"
#include "batch/cataloguepassword.h"
#include "batch/keyring.h"
#include "options/databaselocation.h"
#include "store/connection.h"
#include "store/schema.h"
#include "store/tdados.h"
#include "support/pgserver.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>

using testsupport::ProgramFolder;

namespace {

QString compiledVersion()
{
    return QStringLiteral("1.0.0.9");
}

// Answers the program's modal windows as they appear, one step each, in order; records
// what each one was.
class ModalDriver : public QObject {
public:
    using Step = std::function<void(QWidget *)>;
    ModalDriver()
    {
        m_poll.setInterval(10);
        connect(&m_poll, &QTimer::timeout, this, [this] { look(); });
        m_poll.start();
    }
    void then(Step step) { m_steps.append(std::move(step)); }
    QStringList seen;
    bool done() const { return m_steps.isEmpty(); }

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_handled)
            return;
        m_handled = modal;
        seen << modal->objectName() + ": " + modal->windowTitle();
        if (m_steps.isEmpty())
            return; // left open: the test fails waiting
        Step step = m_steps.takeFirst();
        step(modal);
        // A step whose check failed left its window open: it is closed, so the test ends.
        if (modal && modal->isVisible()) {
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
        m_handled = nullptr;
    }

    QTimer m_poll;
    QList<Step> m_steps;
    QPointer<QWidget> m_handled;
};

void typePassword(QWidget *dialog, const QString &password, bool keep)
{
    auto *field = dialog->findChild<QLineEdit *>("Password");
    QVERIFY(field);
    QCOMPARE(dialog->focusWidget(), field);
    QTest::keyClicks(field, password);
    auto *box = dialog->findChild<QCheckBox *>("Keep");
    QCOMPARE(box->text(), QStringLiteral("&Guardar no chaveiro"));
    if (box->isChecked() != keep)
        QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(dialog->findChild<QPushButton *>("OK"), Qt::LeftButton);
}

QString problemShown(QWidget *dialog)
{
    auto *note = dialog->findChild<QLabel *>("Problem");
    return note->isVisibleTo(dialog) ? note->text() : QString();
}

} // namespace

class TestCataloguePassword : public QObject {
    Q_OBJECT

    QString m_guarded;
    QString m_server;
    std::unique_ptr<ProgramFolder> m_program;

    static bool keyringRuns()
    {
        return !qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains("/nonexistent/");
    }
    // A program run: the start-up loading, its outcome.
    bool start(Startup &s)
    {
        s.createWindows();
        QSignalSpy done(s.Abertura.get(), &TAbertura::startupLoadingDone);
        s.Abertura->show();
        if (!QTest::qWaitFor([&] { return done.count() == 1; }, 60000))
            return false;
        return done.first().first().toBool();
    }

private slots:
    void initTestCase()
    {
        testsupport::PgServer &pg = testsupport::PgServer::instance();
        QVERIFY2(pg.isRunning(), qPrintable(pg.error()));
        const QString owner = pg.createDatabase("senha");
        Schema::createCatalogue(owner, compiledVersion());
        const QString database = testsupport::PgServer::databaseOf(owner);
        pg.exec(database, "GRANT ALL ON ALL TABLES IN SCHEMA public TO quillomar_pw");
        pg.exec(database, "GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO quillomar_pw");
        m_guarded = pg.location(database, "quillomar_pw");
        m_server = QStringLiteral("127.0.0.1:%1").arg(pg.port());
        // libpq's own password file is no part of these runs.
        qputenv("PGPASSFILE", QFile::encodeName(QDir::temp().filePath("quillomar-sem-pgpass")));
    }

    void init()
    {
        m_program = std::make_unique<ProgramFolder>();
        QCOMPARE(saveDatabaseLocation(m_program->paths, m_guarded), QString());
        if (keyringRuns())
            QCOMPARE(Keyring().remove(cataloguepassword::keyringKey(m_guarded)).status,
                Keyring::Status::Ok);
    }

    void aRefusedPasswordIsAskedAgainAndKeptForTheNextStart()
    {
        const QString right = testsupport::PgServer::password();
        ModalDriver driver;
        driver.then([&](QWidget *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Senha do catálogo"));
            QCOMPARE(dialog->findChild<QLabel *>("Intro")->text(),
                "O catálogo no servidor " + m_server
                    + " pede a senha do usuário \"quillomar_pw\".");
            QCOMPARE(dialog->findChild<QLineEdit *>("User")->text(), QStringLiteral("quillomar_pw"));
            QCOMPARE(problemShown(dialog), QString());
            QVERIFY(!dialog->findChild<QPushButton *>("OK")->isEnabled()); // nothing typed
            QCOMPARE(dialog->findChild<QPushButton *>("Cancelar")->text(), QStringLiteral("Cancelar"));
            typePassword(dialog, "errada", true);
        });
        driver.then([&](QWidget *dialog) {
            QCOMPARE(problemShown(dialog), QStringLiteral("Senha incorreta. Digite-a de novo."));
            typePassword(dialog, right, true);
        });
        if (!keyringRuns()) {
            driver.then([](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                QVERIFY(box);
                QCOMPARE(box->icon(), QMessageBox::Warning);
                QCOMPARE(box->text(),
                    QStringLiteral("Nenhum chaveiro respondeu: a senha do catálogo não foi "
                                   "guardada e vale só até o programa terminar."));
                QVERIFY(!box->detailedText().isEmpty());
                box->button(QMessageBox::Ok)->click();
            });
        }
        {
            Startup s(m_program->paths);
            QVERIFY(start(s));
            QVERIFY(driver.done());
            QCOMPARE(s.Abertura->panelText(1), "Provider=PostgreSQL; " + m_server);
            QVERIFY(s.Dados->TPictures.isOpen());
        }
        if (!keyringRuns()) {
            // Nothing was kept: the next start asks again.
            QCOMPARE(driver.seen.size(), 3);
            driver.then([&](QWidget *dialog) {
                QCOMPARE(problemShown(dialog), QString());
                typePassword(dialog, right, false);
            });
            Startup again(m_program->paths);
            QVERIFY(start(again));
            QCOMPARE(driver.seen.size(), 4);
            return;
        }
        const Keyring::Reply kept = Keyring().read(cataloguepassword::keyringKey(m_guarded));
        QCOMPARE(kept.status, Keyring::Status::Ok);
        QCOMPARE(kept.password, right);
        QCOMPARE(driver.seen.size(), 2);
        // The next start finds it in the keyring: no dialog.
        Startup again(m_program->paths);
        QVERIFY(start(again));
        QCOMPARE(driver.seen.size(), 2);
    }

    void aStoredPasswordTheServerRefusesIsReplacedByTheOneTyped()
    {
        if (!keyringRuns())
            QSKIP("a keyring of its own is needed");
        const QString key = cataloguepassword::keyringKey(m_guarded);
        QCOMPARE(Keyring().write(key, "antiga").status, Keyring::Status::Ok);
        ModalDriver driver;
        driver.then([&](QWidget *dialog) {
            QCOMPARE(problemShown(dialog),
                QStringLiteral("O servidor recusou a senha guardada. Digite a senha do catálogo."));
            typePassword(dialog, testsupport::PgServer::password(), true);
        });
        Startup s(m_program->paths);
        QVERIFY(start(s));
        QVERIFY(driver.done());
        QCOMPARE(Keyring().read(key).password, testsupport::PgServer::password());
    }

    // Last: the program it starts ends, and no event loop of this process runs after it.
    void cancelEndsTheStartUpAsAFailedOpening()
    {
        ModalDriver driver;
        QString detail;
        driver.then([](QWidget *dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit *>("Password"), "meio digitada");
            QTest::mouseClick(dialog->findChild<QPushButton *>("Cancelar"), Qt::LeftButton);
        });
        driver.then([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->text(),
                "O servidor do catálogo " + m_server
                    + " pede uma senha para o usuário \"quillomar_pw\".");
            detail = box->detailedText();
            box->button(QMessageBox::Ok)->click();
        });
        driver.then([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("Banco de dados não conectado."));
            // Nothing typed was kept (asked here: once the program ends, no event loop runs).
            if (keyringRuns())
                QCOMPARE(Keyring().read(cataloguepassword::keyringKey(m_guarded)).status,
                    Keyring::Status::NotFound);
            box->button(QMessageBox::Abort)->click();
        });
        Startup s(m_program->paths);
        QVERIFY(!start(s));
        QVERIFY(driver.done());
        QVERIFY(s.endRequested());
        QVERIFY2(detail.contains("no password supplied"), qPrintable(detail));
        QVERIFY(!detail.contains("meio digitada"));
    }
};

QTEST_MAIN(TestCataloguePassword)
#include "test_cataloguepassword.moc"
