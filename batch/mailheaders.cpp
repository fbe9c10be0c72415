#include "batch/mailheaders.h"

namespace mailheaders {

namespace {

bool printableAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// Cuts UTF-8 bytes into pieces of at most maxBytes without splitting a character.
QList<QByteArray> utf8Pieces(const QByteArray &utf8, int maxBytes)
{
    QList<QByteArray> pieces;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + maxBytes, utf8.size());
        while (end < utf8.size() && end > start && (uchar(utf8[end]) & 0xC0) == 0x80)
            --end;
        pieces << utf8.mid(start, end - start);
        start = end;
    }
    return pieces;
}

} // namespace

QByteArray encodedText(const QString &text)
{
    // "=?" in plain text would be taken for the start of an encoded word.
    if (printableAscii(text) && !text.contains(QLatin1String("=?")))
        return text.toLatin1();
    // 45 bytes give 60 base64 characters: 72 with the word's frame.
    QByteArrayList words;
    for (const QByteArray &piece : utf8Pieces(text.toUtf8(), 45))
        words << "=?UTF-8?B?" + piece.toBase64() + "?=";
    return words.join("\r\n ");
}

QByteArray mailbox(const QString &name, const QString &address)
{
    const QByteArray addr = address.toUtf8();
    if (name.isEmpty())
        return addr;
    if (printableAscii(name) && !name.contains(QLatin1String("=?"))) {
        QByteArray quoted = name.toLatin1();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + quoted + "\" <" + addr + '>';
    }
    return encodedText(name) + " <" + addr + '>';
}

QByteArray addressList(const QStringList &addresses)
{
    QByteArrayList parts;
    for (const QString &a : addresses)
        parts << a.toUtf8();
    return parts.join(",\r\n ");
}

QByteArray attachmentDisposition(const QString &fileName)
{
    if (printableAscii(fileName) && !fileName.contains(QLatin1Char('"'))
        && !fileName.contains(QLatin1Char('\\')))
        return "attachment; filename=\"" + fileName.toLatin1() + '"';
    // RFC 2231: the attribute characters stay, every other byte is %XX.
    return "attachment; filename*=UTF-8''" + fileName.toUtf8().toPercentEncoding("!#$&+-.^_`|~");
}

} // namespace mailheaders
