#include "batch/eventlog.h"
#include "batch/mailsend.h"
#include "batchfixture.h"
#include "smtpserverfixture.h"
#include "support/pythonserver.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>

using testsupport::PythonServer;

namespace {

QStringList strings(const QJsonValue &v)
{
    QStringList list;
    for (const QJsonValue &x : v.toArray())
        list << x.toString();
    return list;
}

struct Run {
    BatchFixture f;
    EventLog log;
    RecordingStatus status;
    bool ok = false;
    void send(const SmtpAccount &account, const MailInput &input, const PictureKeys &keys)
    {
        ok = SendByEmail(f.store, account, input, keys, log, f.prompter, status);
    }
    QStringList errors() const
    {
        QStringList list;
        for (const auto &r : f.prompter.boxes()) {
            if (r.icon == Prompter::Icon::Error)
                list << r.text;
        }
        return list;
    }
};

const QString Rule(68, QLatin1Char('_'));

} // namespace

class TestMailSend : public QObject {
    Q_OBJECT
private slots:
    void messageCarriesRecipientsBodyAndAttachmentsAsAMailClientShowsThem()
    {
        SmtpServer smtp;
        Run r;
        const QString folder = r.f.catalog.folder.file(QStringLiteral("fotos"));
        const QByteArray a = sampleBytes(2048, 'a'), b = sampleBytes(150001, 'b');
        const qint64 k1 = r.f.picture(folder, QStringLiteral("praia.jpg"), &a);
        const qint64 k2 = r.f.picture(folder, QStringLiteral("sumiu.jpg"));
        const qint64 k3 = r.f.picture(folder + "/", QStringLiteral("Férias no Sítio.jpg"), &b);
        MailInput in;
        in.to = QStringLiteral("  ana@x.com ; ;bia@y.org;  resto@sem-ponto-e-virgula");
        in.cc = QStringLiteral("caio@z.net;");
        in.bcc = QStringLiteral(" oculto@w.com ;");
        in.subject = QStringLiteral("Fotos da viagem: ação & coração");
        in.message = QStringLiteral("Olá, família!\nSeguem as fotos.");
        r.send(smtp.account(), in, { k1, k2, k3 });

        QVERIFY(r.ok);
        QVERIFY(r.f.prompter.boxes().isEmpty());
        const auto received = smtp.messages();
        QCOMPARE(received.size(), 1);
        QCOMPARE(received[0].value("mail_from").toString(), QStringLiteral("jose@exemplo.com.br"));
        QCOMPARE(strings(received[0].value("rcpt_tos")),
            QStringList({ "ana@x.com", "bia@y.org", "caio@z.net", "oculto@w.com" }));
        QCOMPARE(smtp.server->entries("greeting").value(0).value("argument").toString(),
            QStringLiteral("estacao.local"));

        const QJsonObject m = smtp.shown();
        QCOMPARE(strings(m.value("to")), QStringList({ "ana@x.com", "bia@y.org" }));
        QCOMPARE(strings(m.value("cc")), QStringList({ "caio@z.net" }));
        QVERIFY(!m.value("has_bcc").toBool());
        QCOMPARE(m.value("subject").toString(), in.subject);
        QCOMPARE(m.value("from_name").toString(), QStringLiteral("José Araújo"));
        QCOMPARE(m.value("from_address").toString(), QStringLiteral("jose@exemplo.com.br"));
        QCOMPARE(strings(m.value("defects")), QStringList());
        QCOMPARE(m.value("text_charset").toString(), QStringLiteral("utf-8"));
        QCOMPARE(m.value("text").toString().replace("\r\n", "\n"),
            QStringList({ "Olá, família!", "Seguem as fotos.", "", "Anexos: ", "",
                            "praia.jpg (2048 bytes)", "Férias no Sítio.jpg (150001 bytes)", "",
                            Rule, "Quillomar version 1.0.0.9", "https://www.marveth.com.br/", "" })
                .join('\n'));
        const QJsonArray att = m.value("attachments").toArray();
        QCOMPARE(att.size(), 2);
        QCOMPARE(att[0]["name"].toString(), QStringLiteral("praia.jpg"));
        QCOMPARE(att[1]["name"].toString(), QStringLiteral("Férias no Sítio.jpg"));
        const QByteArray files[] = { a, b };
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(att[i]["type"].toString(), QStringLiteral("application/octet-stream"));
            QCOMPARE(att[i]["encoding"].toString(), QStringLiteral("base64"));
            QCOMPARE(att[i]["sha256"].toString(),
                QString(QCryptographicHash::hash(files[i], QCryptographicHash::Sha256).toHex()));
        }

        // The missing file is logged; the log also holds the dialogue in order.
        const QStringList &lines = r.log.lines();
        QVERIFY(lines.first().startsWith(QStringLiteral("220 ")));
        QVERIFY(lines.contains(folder + "/sumiu.jpg não encontrado!"));
        QVERIFY(lines.indexOf(QStringLiteral("MAIL FROM:<jose@exemplo.com.br>"))
            > lines.indexOf(folder + "/sumiu.jpg não encontrado!"));
        QVERIFY(lines.last().startsWith(QStringLiteral("221")));
        QCOMPARE(r.status.texts,
            QStringList({ "Conectando...", "Anexando...", "Arquivo não encontrado!", "Anexando...",
                "Disconectando..." }));
    }

    void recipientWithoutSemicolonIsTakenAsTypedAndMissingFilesLeaveOnlyTheText()
    {
        SmtpServer smtp;
        Run r;
        const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), QStringLiteral("nada.jpg"));
        MailInput in;
        in.to = QStringLiteral(" ana@x.com ");
        in.message = QStringLiteral("Só o texto.");
        r.send(smtp.account(), in, { k });
        QVERIFY(r.ok);
        const QJsonObject m = smtp.shown();
        QCOMPARE(strings(m.value("to")), QStringList({ "ana@x.com" }));
        QCOMPARE(m.value("text").toString().replace("\r\n", "\n"), QStringLiteral("Só o texto.\n"));
        QVERIFY(m.value("attachments").toArray().isEmpty());
        QCOMPARE(m.value("subject").toString(), QString());

        // The next send carries only its own recipients.
        Run r2;
        const QByteArray bytes = sampleBytes(10, 'q');
        const qint64 k2 = r2.f.picture(r2.f.catalog.folder.file("x"), "q.jpg", &bytes);
        in.to = QStringLiteral("bia@y.org");
        in.cc = QStringLiteral("   ");
        r2.send(smtp.account(), in, { k2 });
        QVERIFY(r2.ok);
        QCOMPARE(strings(smtp.messages().last().value("rcpt_tos")), QStringList({ "bia@y.org" }));
    }

    void serverRefusalsAndLostConnectionsFailTheRun()
    {
        const QByteArray bytes = sampleBytes(400000, 'r');
        {
            SmtpServer smtp({ "--refuse", "nao@x.com" });
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "r.jpg", &bytes);
            r.send(smtp.account(), { "sim@x.com;nao@x.com;", {}, {}, {}, {} }, { k });
            QVERIFY(!r.ok);
            QVERIFY(smtp.messages().isEmpty());
            QVERIFY(r.status.texts.contains(QStringLiteral("Falha na operação!")));
            QCOMPARE(r.errors().size(), 1);
            QVERIFY(r.log.lines().contains(r.errors().first()));
            // The server's reply, then the failure told in its words.
            QCOMPARE(r.log.lines().filter(QRegularExpression("^550 ")).size(), 2);
        }
        {
            SmtpServer smtp({ "--drop-in-data" });
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "r.jpg", &bytes);
            r.send(smtp.account(), { "sim@x.com", {}, {}, {}, {} }, { k });
            QVERIFY(!r.ok);
            QCOMPARE(smtp.server->entries("dropped").size(), 1);
            QVERIFY(r.status.texts.contains(QStringLiteral("Falha na operação!")));
            QCOMPARE(r.errors().size(), 1);
        }
        {
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "r.jpg", &bytes);
            SmtpAccount account { "nohost.invalid", "25", "estacao", "", "eu@x.com" };
            r.send(account, { "sim@x.com", {}, {}, {}, {} }, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.status.texts, QStringList({ "Conectando...", "Servidor inválido!" }));
            QCOMPARE(r.log.lines(), r.errors());
        }
        {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            SmtpAccount account { "127.0.0.1", QString::number(closed.serverPort()), "estacao", "",
                "eu@x.com" };
            closed.close();
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "r.jpg", &bytes);
            r.send(account, { "sim@x.com", {}, {}, {}, {} }, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.status.texts, QStringList({ "Conectando...", "Falha na conexão!" }));
            QCOMPARE(r.errors().size(), 1);
        }
    }

    void everyRefusalIsToldInTheServersOwnReply()
    {
        const QByteArray bytes = sampleBytes(2000, 'q');
        // The box of a failed run, which its log must hold too.
        const auto refusal = [&](const QStringList &mode) {
            SmtpServer smtp(mode);
            Run r;
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "r.jpg", &bytes);
            r.send(smtp.account(), { "sim@x.com;nao@x.com;", {}, {}, {}, {} }, { k });
            const QString shown = r.errors().value(0);
            bool logged = true;
            // A text of several lines is logged as several lines.
            for (const QString &line : shown.split(QLatin1Char('\n')))
                logged = logged && r.log.lines().contains(line);
            if (r.ok || r.errors().size() != 1 || !logged || !smtp.messages().isEmpty()
                || !r.status.texts.contains(QStringLiteral("Falha na operação!")))
                return QStringLiteral("(not one logged failure) ") + shown;
            return shown;
        };
        QCOMPARE(refusal({ "--refuse", "nao@x.com" }),
            QStringLiteral("550 5.1.1 Destinatario recusado"));
        QCOMPARE(refusal({ "--greeting", "554 5.3.2 Servico indisponivel" }),
            QStringLiteral("554 5.3.2 Servico indisponivel"));
        QCOMPARE(refusal({ "--reply", "MAIL", "553 5.1.8 Remetente recusado" }),
            QStringLiteral("553 5.1.8 Remetente recusado"));
        QCOMPARE(refusal({ "--reply", "DATA", "554 5.7.1 Sem envios hoje" }),
            QStringLiteral("554 5.7.1 Sem envios hoje"));
        QCOMPARE(refusal({ "--reject-message",
                     "552-5.3.4 Mensagem grande demais\\r\\n552 5.3.4 "
                     "Limite de 1 KB" }),
            QStringLiteral("552-5.3.4 Mensagem grande demais\n552 5.3.4 Limite de 1 KB"));
    }

    void serverControlCharactersAreWrittenOutInLogAndBoxes()
    {
        SmtpServer smtp({ "--greeting", "220 \\x1b]0;dono\\x07\\x1b[2J ola\\x00", "--reply", "RCPT",
            "550 \\x1b[31mrecusado\\x1b[0m\\x07" });
        Run r;
        const QByteArray bytes = sampleBytes(2000, 'h');
        const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "h.jpg", &bytes);
        r.send(smtp.account(), { "sim@x.com", {}, {}, {}, {} }, { k });
        QVERIFY(!r.ok);
        QCOMPARE(r.log.lines().value(0), QStringLiteral("220 \\x1b]0;dono\\x07\\x1b[2J ola\\x00"));
        QCOMPARE(r.errors(), QStringList { QStringLiteral("550 \\x1b[31mrecusado\\x1b[0m\\x07") });
        for (const QString &t : r.log.lines() + r.f.prompter.boxTexts()) {
            for (const QChar c : t)
                QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7f, qPrintable(t));
        }
    }

    void checksRefuseBadAccountsAndSmuggledLinesBeforeAnythingIsSent()
    {
        SmtpServer smtp;
        const SmtpAccount good = smtp.account();
        const MailInput plain { "ana@x.com", {}, {}, {}, {} };
        QCOMPARE(checkMail(good, plain).field, MailField::None);
        SmtpAccount noName = good;
        noName.name.clear();
        QCOMPARE(checkMail(noName, plain).field, MailField::None);

        const QList<std::function<void(SmtpAccount &)>> badAccounts {
            [](SmtpAccount &a) { a.port = "0"; }, [](SmtpAccount &a) { a.port = ""; },
            [](SmtpAccount &a) { a.port = "65536"; }, [](SmtpAccount &a) { a.email = "  "; },
            [](SmtpAccount &a) { a.host = " "; }, [](SmtpAccount &a) { a.userId = ""; },
            [](SmtpAccount &a) { a.email = "eu@x.com\r\nBcc: todos@x.com"; },
            [](SmtpAccount &a) { a.name = "José\r\nBcc: todos@x.com"; },
            [](SmtpAccount &a) { a.email = "eu <eu@x.com>"; }
        };
        for (const auto &spoil : badAccounts) {
            SmtpAccount a = good;
            spoil(a);
            const MailFault f = checkMail(a, plain);
            QCOMPARE(f.field, MailField::Account);
            QCOMPARE(f.text,
                QStringLiteral("Configuração do servidor de envio de mensagens inválida!\r"
                               "Configure corretamente no item Opções."));
        }

        const QList<std::pair<MailInput, MailField>> badInputs {
            { { "   ", {}, {}, {}, {} }, MailField::To },
            { { " ; ;", {}, {}, {}, {} }, MailField::To },
            { { "ana@x.com\r\nRCPT TO:<todos@x.com>", {}, {}, {}, {} }, MailField::To },
            { { "ana silva@x.com", {}, {}, {}, {} }, MailField::To },
            { { "ana@x.com;", "bia@y.org\r\nRCPT TO:<x@y.org>;", {}, {}, {} }, MailField::Cc },
            { { "ana@x.com;", {}, "<b@y.org>;", {}, {} }, MailField::Bcc },
            { { "ana@x.com", {}, {}, "Oi\r\nBcc: todos@x.com", {} }, MailField::Subject },
        };
        for (const auto &[input, field] : badInputs) {
            QCOMPARE(checkMail(good, input).field, field);
            Run r;
            const QByteArray bytes = sampleBytes(10, 'c');
            const qint64 k = r.f.picture(r.f.catalog.folder.file("x"), "c.jpg", &bytes);
            r.send(good, input, { k });
            QVERIFY(!r.ok);
            QCOMPARE(r.errors(), QStringList { checkMail(good, input).text });
        }
        QVERIFY(smtp.server->entries().isEmpty());
    }
};

QTEST_MAIN(TestMailSend)
#include "test_mailsend.moc"
