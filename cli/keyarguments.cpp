#include "cli/keyarguments.h"

#include <QByteArray>

namespace {

bool addKey(const QString &text, QList<qint64> &keys, QString *error)
{
    bool ok = false;
    const qint64 key = text.trimmed().toLongLong(&ok);
    if (!ok || key <= 0) {
        *error = QStringLiteral("chave inválida: \"%1\"").arg(text);
        return false;
    }
    keys << key;
    return true;
}

} // namespace

QList<qint64> readKeyArguments(const QStringList &args, FILE *in, QString *error)
{
    error->clear();
    QList<qint64> keys;
    bool stdinRead = false;
    for (const QString &arg : args) {
        if (arg != QLatin1String("-")) {
            if (!addKey(arg, keys, error))
                return {};
            continue;
        }
        if (stdinRead) {
            *error = QStringLiteral("\"-\" só pode aparecer uma vez");
            return {};
        }
        stdinRead = true;
        QByteArray bytes;
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            bytes.append(buffer, qsizetype(n));
        if (std::ferror(in)) {
            *error = QStringLiteral("não foi possível ler as chaves da entrada padrão");
            return {};
        }
        for (const QByteArray &line : bytes.split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (!text.isEmpty() && !addKey(text, keys, error))
                return {};
        }
    }
    return keys;
}
