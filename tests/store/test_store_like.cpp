#include "store/connection.h"
#include "store/statement.h"
#include "store/unicodelike.h"
#include "storetesthelpers.h"

#include <QRandomGenerator>
#include <QStringView>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <sqlite3.h>

// LIKE on the program's connection: Unicode letter case, the engine's wildcards.
class TestStoreLike : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<bool, QString> m_catalogues; // by engine: on the server or not

    // `text LIKE pattern` on a program connection; null when the engine gives null.
    static QVariant like(Connection &c, const QVariant &text, const QVariant &pattern)
    {
        Statement s(c, QStringLiteral("SELECT :T LIKE :P"));
        Statement::Reset done(s);
        s.bind(QStringLiteral("T"), text);
        s.bind(QStringLiteral("P"), pattern);
        if (!s.step())
            return QStringLiteral("no row");
        return s.value(0);
    }

    // The catalogue of the current row's engine, made once.
    QString catalogue()
    {
        const bool server = storetest::onServer();
        if (!m_catalogues.contains(server))
            m_catalogues.insert(server, storetest::catalogue(m_dir.path(), QStringLiteral("like.mdb")));
        return m_catalogues.value(server);
    }

private slots:
    void initTestCase_data() { storetest::addEngines(); }

    void accentsMatchAsPeopleTypeThem()
    {
        Connection c;
        c.openFile(catalogue());
        auto yes = [&](const QString &text, const QString &pattern) {
            return like(c, text, pattern).toLongLong() == 1;
        };
        // Typed without an accent: the letter with or without any.
        QVERIFY(yes(QStringLiteral("Festa de São João"), QStringLiteral("%sao joao%")));
        QVERIFY(yes(QStringLiteral("Forró pé de serra"), QStringLiteral("forro%")));
        QVERIFY(yes(QStringLiteral("AÇÚCAR"), QStringLiteral("acucar")));
        QVERIFY(yes(QStringLiteral("crème brûlée"), QStringLiteral("creme brulee")));
        QVERIFY(yes(QStringLiteral("İstanbul"), QStringLiteral("istanbul")));
        QVERIFY(yes(QStringLiteral("São"), QStringLiteral("s_o")));
        // Typed with an accent: that accent only, any case.
        QVERIFY(!yes(QStringLiteral("forro"), QStringLiteral("forró")));
        QVERIFY(yes(QStringLiteral("FORRÓ"), QStringLiteral("forró")));
        QVERIFY(!yes(QStringLiteral("forrò"), QStringLiteral("forró")));
        QVERIFY(!yes(QStringLiteral("joao"), QStringLiteral("JOÃO")));
        QVERIFY(yes(QStringLiteral("São João"), QStringLiteral("são jo_o")));
        QVERIFY(!yes(QStringLiteral("Sao Joao"), QStringLiteral("são%")));
        // Accents written as combining marks are the letters they compose, on either side.
        const QString decomposed = QStringLiteral("Sa\u0303o Joa\u0303o");
        QVERIFY(yes(decomposed, QStringLiteral("sao joao")));
        QVERIFY(yes(decomposed, QStringLiteral("são joão")));
        QVERIFY(yes(decomposed, QStringLiteral("s_o jo_o")));
        QVERIFY(!yes(decomposed, QStringLiteral("s_o j_o")));
        QVERIFY(yes(QStringLiteral("São"), QStringLiteral("sa\u0303o")));
        QVERIFY(!yes(QStringLiteral("Sao"), QStringLiteral("sa\u0303o")));
        // A letter with no accent of its own stays itself; syllables are not their first letter.
        QVERIFY(!yes(QStringLiteral("Øresund"), QStringLiteral("oresund")));
        QVERIFY(!yes(QStringLiteral("\uD55C"), QStringLiteral("\u1112")));
    }

    void caseFoldsOverUnicode()
    {
        Connection c;
        c.openFile(catalogue());
        auto yes = [&](const QString &text, const QString &pattern) {
            return like(c, text, pattern).toLongLong() == 1;
        };
        QVERIFY(yes(QStringLiteral("JOÃO DA SILVA"), QStringLiteral("%joão%")));
        QVERIFY(yes(QStringLiteral("joão"), QStringLiteral("JOÃO")));
        QVERIFY(yes(QStringLiteral("AÇÚCAR"), QStringLiteral("%ç%")));
        QVERIFY(yes(QStringLiteral("ΑΘΗΝΑ"), QStringLiteral("αθηνα")));
        QVERIFY(yes(QStringLiteral("ẞ"), QStringLiteral("ß")));
        QVERIFY(yes(QStringLiteral("\U00010400x"), QStringLiteral("\U00010428X"))); // beyond BMP
        QVERIFY(yes(QStringLiteral("\u212A"), QStringLiteral("k"))); // Kelvin sign folds to k
        QVERIFY(yes(QStringLiteral("João"), QStringLiteral("joao")));
        QVERIFY(!yes(QStringLiteral("joao"), QStringLiteral("JOÃO")));
        // "_" is one character, however many bytes it takes.
        QVERIFY(yes(QStringLiteral("JOÃO"), QStringLiteral("jo_o")));
        QVERIFY(!yes(QStringLiteral("JOÃO"), QStringLiteral("jo__o")));
        QVERIFY(yes(QStringLiteral("\U00010400"), QStringLiteral("_")));
        // No escape character: a backslash is itself.
        QVERIFY(yes(QStringLiteral("a\\b\\c"), QStringLiteral("a\\_\\%")));
        QVERIFY(!yes(QStringLiteral("a%"), QStringLiteral("a\\%")));
        QVERIFY(yes(QStringLiteral("linha\num"), QStringLiteral("%\n%")));
        QVERIFY(yes(QStringLiteral(""), QStringLiteral("")));
        QVERIFY(!like(c, QVariant(), QStringLiteral("%")).isValid());
        QVERIFY(!like(c, QStringLiteral("x"), QVariant()).isValid());
        // A long pattern, and bytes that are no UTF-8: one character each.
        const QString longText(10000, QLatin1Char('x'));
        QVERIFY(yes(longText, QStringLiteral("%") + longText + QStringLiteral("%")));
        // Beyond the engine's limit on LIKE patterns (50,000 bytes): a match like any other.
        const QString euros(30000, QChar(0x20AC));
        QVERIFY(yes(QStringLiteral("x") + euros, QStringLiteral("%") + euros));
        QVERIFY(!yes(euros, euros + QStringLiteral("_")));
        if (storetest::onServer())
            return; // the server holds valid UTF-8 only
        Statement raw(c, QStringLiteral("SELECT CAST(X'41FF42' AS TEXT) LIKE :P"));
        for (const auto &[pattern, expected] :
            { std::pair { "a_b", 1 }, std::pair { "a%", 1 }, std::pair { "ab", 0 } }) {
            Statement::Reset done(raw);
            raw.bind(QStringLiteral("P"), QString::fromLatin1(pattern));
            QVERIFY(raw.step());
            QCOMPARE(raw.integer(0), expected);
        }
    }

    // Over letters with and without accents, the match is the plainest reading of the rule:
    // "%" any run, "_" any one, a plain letter its letter with any accent, an accented one
    // itself, case ignored.
    void accentsMatchTheRuleOnRandomTexts()
    {
        const QString letters = QStringLiteral("aáãAÃoóOÓc%_");
        const auto base = [](QChar c) {
            const QString d = c.toLower().decomposition();
            return d.isEmpty() ? c.toLower() : d.at(0).toLower();
        };
        const std::function<bool(QStringView, QStringView)> reference
            = [&](QStringView p, QStringView t) -> bool {
            if (p.isEmpty())
                return t.isEmpty();
            const QChar first = p.front();
            if (first == QLatin1Char('%'))
                return reference(p.mid(1), t) || (!t.isEmpty() && reference(p, t.mid(1)));
            if (t.isEmpty())
                return false;
            const QChar c = t.front();
            const bool plain = base(first) == first.toLower();
            const bool same = first == QLatin1Char('_')
                || (plain ? base(c) == first.toLower() : c.toLower() == first.toLower());
            return same && reference(p.mid(1), t.mid(1));
        };
        QRandomGenerator random(11);
        auto make = [&](int most, int from) {
            QString s;
            for (int n = int(random.bounded(most + 1)); n > 0; --n)
                s += letters.at(int(random.bounded(from)));
            return s;
        };
        for (int i = 0; i < 20000; ++i) {
            const QString text = make(7, 10);
            const QString pattern = make(5, 12);
            const bool expected = reference(pattern, text);
            if (UnicodeLike::matches(pattern.toUtf8(), text.toUtf8()) != expected)
                QFAIL(qPrintable(QStringLiteral("'%1' LIKE '%2'").arg(text, pattern)));
        }
    }

    // On ASCII texts the match is SQLite's own, case folding included; on the server LIKE
    // matches exactly as the SQLite side's does, over Unicode letters too.
    void asciiMatchesTheEngineLike()
    {
        if (storetest::onServer()) {
            Connection c;
            c.openFile(catalogue());
            QRandomGenerator random(11);
            const QString alphabet = QStringLiteral("aAbB%_cÇçÃãΣσςẞßſ\\");
            auto make = [&](int most) {
                QString s = QStringLiteral(""); // empty, never null
                for (int n = int(random.bounded(most + 1)); n > 0; --n)
                    s += alphabet.at(int(random.bounded(int(alphabet.size()))));
                return s;
            };
            for (int i = 0; i < 3000; ++i) {
                const QString text = make(8);
                const QString pattern = make(5);
                const bool expected = UnicodeLike::matches(pattern.toUtf8(), text.toUtf8());
                if ((like(c, text, pattern).toLongLong() == 1) != expected)
                    QFAIL(qPrintable(QStringLiteral("'%1' LIKE '%2'").arg(text, pattern)));
            }
            return;
        }
        sqlite3 *engine = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &engine), SQLITE_OK);
        sqlite3_stmt *builtIn = nullptr;
        sqlite3_prepare_v2(engine, "SELECT ?1 LIKE ?2", -1, &builtIn, nullptr);
        QRandomGenerator random(7);
        const char alphabet[] = "aAbB%_c";
        auto make = [&](int most, int letters) {
            QByteArray s;
            for (int n = int(random.bounded(most + 1)); n > 0; --n)
                s += alphabet[random.bounded(letters)];
            return s;
        };
        for (int i = 0; i < 20000; ++i) {
            const QByteArray text = make(8, 5) + (i % 3 == 0 ? "%" : "");
            const QByteArray pattern = make(6, 7);
            sqlite3_bind_text(builtIn, 1, text.constData(), int(text.size()), SQLITE_STATIC);
            sqlite3_bind_text(builtIn, 2, pattern.constData(), int(pattern.size()), SQLITE_STATIC);
            sqlite3_step(builtIn);
            const bool expected = sqlite3_column_int(builtIn, 0) == 1;
            sqlite3_reset(builtIn);
            if (UnicodeLike::matches(pattern, text) != expected)
                QFAIL(
                    qPrintable(QStringLiteral("'%1' LIKE '%2'")
                                   .arg(QString::fromLatin1(text), QString::fromLatin1(pattern))));
        }
        sqlite3_finalize(builtIn);
        sqlite3_close(engine);
    }
};

QTEST_GUILESS_MAIN(TestStoreLike)
#include "test_store_like.moc"
