#include "cli/transferoptions.h"

#include "batch/certificatetrust.h"
#include "batch/secretmemory.h"
#include "cli/clicontext.h"

#include <QFile>

namespace transferoptions {

namespace {
const QString PasswordFileName = QStringLiteral("password-file");
const QString AcceptName = QStringLiteral("accept-certificate");
} // namespace

QCommandLineOption passwordFile()
{
    return { PasswordFileName,
        QStringLiteral("lê a senha da primeira linha do ARQUIVO (\"-\": da entrada padrão)"),
        QStringLiteral("ARQUIVO") };
}

QCommandLineOption acceptCertificate()
{
    return { AcceptName,
        QStringLiteral("aceita nesta execução o certificado com essa impressão digital "
                       "SHA-256 (hexadecimal, \":\" opcionais), mesmo que não passe na "
                       "verificação"),
        QStringLiteral("SHA256") };
}

bool passwordFromInput(CliContext &cx)
{
    return cx.isSet(PasswordFileName) && cx.value(PasswordFileName) == QLatin1String("-");
}

std::optional<QString> readPassword(CliContext &cx, bool *failed)
{
    *failed = false;
    if (!cx.isSet(PasswordFileName))
        return std::nullopt;
    protectSecretsInMemory();
    const QString path = cx.value(PasswordFileName);
    QFile file;
    const bool opened = path == QLatin1String("-")
        ? file.open(cx.input(), QIODevice::ReadOnly)
        : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        cx.err(QStringLiteral("%1: %2\n").arg(path, file.errorString()));
        *failed = true;
        return std::nullopt;
    }
    QByteArray bytes = file.readLine();
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    QString password = QString::fromUtf8(bytes);
    wipeSecret(bytes);
    return password;
}

std::optional<QList<QByteArray>> acceptedCertificates(CliContext &cx)
{
    QList<QByteArray> list;
    for (const QString &text : cx.values(AcceptName)) {
        const std::optional<QByteArray> sha256 = parseFingerprint(text);
        if (!sha256) {
            cx.usageError(
                QStringLiteral("impressão digital SHA-256 inválida: \"%1\"").arg(text));
            return std::nullopt;
        }
        list << *sha256;
    }
    return list;
}

} // namespace transferoptions
