#include "core/inifile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString sectionOf(const QString &line)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

bool isSection(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

// Key of a "key=value" line, or empty when the line is not one.
QString keyOf(const QString &line, QString *value)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return QString();
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return QString();
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return t.left(eq).trimmed();
}
} // namespace

std::optional<QStringList> IniFile::readLines()
{
    m_error.clear();
    QFileInfo info(m_path);
    if (!info.exists())
        return QStringList();
    if (info.isDir()) {
        m_error
            = QStringLiteral("Não foi possível ler o arquivo de configuração \"%1\": é uma pasta.")
                  .arg(m_path);
        return std::nullopt;
    }
    // Opened without waiting: a FIFO or a device in the file's place would block open()
    // for good. Only a regular file is read.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_error = QStringLiteral("Não foi possível ler o arquivo de configuração \"%1\": %2")
                      .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_error = QStringLiteral("Não foi possível ler o arquivo de configuração \"%1\": não é "
                                 "um arquivo comum.")
                      .arg(m_path);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_error = QStringLiteral("Não foi possível ler o arquivo de configuração \"%1\": %2")
                      .arg(m_path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_error = QStringLiteral("Não foi possível ler o arquivo de configuração \"%1\": %2")
                      .arg(m_path, file.errorString());
        return std::nullopt;
    }
    // Files written by other editors may be in a legacy code page rather than UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def)
{
    const std::optional<QStringList> lines = readLines();
    if (!lines)
        return def;
    bool inSection = false;
    for (const QString &line : *lines) {
        if (isSection(line)) {
            inSection = sectionOf(line).compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        QString value;
        const QString k = keyOf(line, &value);
        if (!k.isEmpty() && k.compare(key, Qt::CaseInsensitive) == 0) {
            // A quoted value loses its quotes, as with the profile calls.
            if (value.size() >= 2 && value.front() == value.back()
                && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return def;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    return writeStrings(section, { { key, value } });
}

bool IniFile::writeStrings(const QString &section, const QList<QPair<QString, QString>> &values)
{
    std::optional<QStringList> read = readLines();
    if (!read)
        return false;
    QStringList lines = *read;
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    for (const auto &[key, value] : values)
        setEntry(lines, section, key, value);
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly)) {
        m_error = out.errorString();
        return false;
    }
    out.write((lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8());
    if (!out.commit()) {
        m_error = out.errorString();
        return false;
    }
    return true;
}

// Replaces the key's line in the section, or adds it at the section's end (and the section
// at the file's end).
void IniFile::setEntry(
    QStringList &lines, const QString &section, const QString &key, const QString &value)
{
    const QString entry = key + QLatin1Char('=') + value;
    int sectionLine = -1;
    int insertAt = -1;
    bool done = false;
    for (int i = 0; i < lines.size() && !done; ++i) {
        if (isSection(lines[i])) {
            if (sectionLine >= 0)
                break;
            if (sectionOf(lines[i]).compare(section, Qt::CaseInsensitive) == 0) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        const QString k = keyOf(lines[i], nullptr);
        if (!k.isEmpty() && k.compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = entry;
            done = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!done) {
        if (sectionLine < 0) {
            if (!lines.isEmpty())
                lines.append(QString());
            lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
            lines.append(entry);
        } else {
            lines.insert(insertAt, entry);
        }
    }
}
