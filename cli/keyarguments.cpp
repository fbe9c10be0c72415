#include "cli/keyarguments.h"

#include "core/controlescape.h"

#include <QByteArray>
#include <QScopeGuard>

namespace {

bool addKey(const QString &text, QList<qint64> &keys, QString *error)
{
    bool ok = false;
    const qint64 key = text.trimmed().toLongLong(&ok);
    if (!ok || key <= 0) {
        *error = QStringLiteral("chave inválida: \"%1\"").arg(escapeControlCharacters(text));
        return false;
    }
    keys << key;
    return true;
}

// The keys on `in`, one a line, read as they come: the first line that is not a key ends
// the reading, so an endless or huge input costs no more than one line of memory.
bool readKeyLines(FILE *in, QList<qint64> &keys, QString *error)
{
    QByteArray line;
    qint64 number = 0;
    const auto endLine = [&]() {
        ++number;
        const QString text = QString::fromUtf8(line).trimmed();
        line.clear();
        return text.isEmpty() || addKey(text, keys, error);
    };
    // Character by character, not fread: stdio hands over what the pipe holds, so a line is
    // judged as soon as it has come, even while the writer keeps its end open.
    flockfile(in);
    const auto unlock = qScopeGuard([in] { funlockfile(in); });
    for (int c; (c = getc_unlocked(in)) != EOF;) {
        if (c == '\n') {
            if (!endLine())
                return false;
            continue;
        }
        if (line.size() >= kMaxKeyLine) {
            *error = QStringLiteral("a linha %1 da entrada padrão passa de %2 caracteres")
                         .arg(number + 1)
                         .arg(kMaxKeyLine);
            return false;
        }
        line.append(char(c));
    }
    if (std::ferror(in)) {
        *error = QStringLiteral("não foi possível ler as chaves da entrada padrão");
        return false;
    }
    return endLine();
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
        if (!readKeyLines(in, keys, error))
            return {};
    }
    return keys;
}
