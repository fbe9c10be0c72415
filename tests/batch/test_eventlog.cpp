#include "batch/eventlog.h"
#include "batch/joinkeylist.h"
#include "batch/tviewlog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

class TestEventLog : public QObject {
    Q_OBJECT
private slots:
    void joinedKeysAreIntegersAndNeverEmpty()
    {
        QCOMPARE(JoinKeyList({ 12, 7, 30 }), QStringLiteral("12,7,30"));
        QCOMPARE(
            picturesOfKeysSql({ 5 }), QStringLiteral("SELECT * FROM Pictures WHERE RecId IN (5)"));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, JoinKeyList({}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, picturesOfKeysSql({}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, JoinKeyList({ 3, 0 }));
    }

    void linesAreKeptAsGivenAndBreaksSplitThem()
    {
        EventLog log;
        QSignalSpy added(&log, &EventLog::lineAdded);
        log.AddLogLine(QStringLiteral("  220 pronto  "));
        log.AddLogLine(QStringLiteral("a\r\nb\rc\nd\r\n"));
        log.AddLogLine(QString());
        QCOMPARE(log.lines(), QStringList({ "  220 pronto  ", "a", "b", "c", "d", QString() }));
        QCOMPARE(added.count(), 6);
        log.ClearLog();
        QVERIFY(log.lines().isEmpty());
    }

    void logWindowShowsTheLinesModallyUntilOk()
    {
        EventLog log;
        TViewLog window(log);
        QCOMPARE(window.windowTitle(), QStringLiteral("Registro de Eventos"));
        auto *memo = window.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
        QVERIFY(memo);
        QVERIFY(memo->toPlainText().isEmpty());
        window.log().AddLogLine(QStringLiteral("220 Servidor pronto."));
        window.log().AddLogLine(QStringLiteral("/fotos/praia.jpg não encontrado!"));

        QString shown;
        bool readOnly = false;
        QTimer::singleShot(0, &window, [&] {
            shown = memo->toPlainText();
            readOnly = memo->isReadOnly();
            auto *ok = window.findChild<QPushButton *>();
            QVERIFY(ok && ok->isDefault());
            QTest::keyClick(&window, Qt::Key_Return);
        });
        window.ShowLog();
        QCOMPARE(shown, QStringLiteral("220 Servidor pronto.\n/fotos/praia.jpg não encontrado!"));
        QVERIFY(readOnly);
        QVERIFY(!window.isVisible());
        // Lines stay until the next run empties the log.
        QCOMPARE(window.log().lines().size(), 2);
    }
};

QTEST_MAIN(TestEventLog)
#include "test_eventlog.moc"
