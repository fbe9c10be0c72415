#include "intake/scannames.h"

namespace {

// Names listed per reason in the warning.
constexpr int listedNames = 20;

// The length of the UTF-8 sequence at p, or 0 when it is not valid.
int utf8SequenceAt(const unsigned char *p, const unsigned char *end)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int length;
    unsigned int min;
    unsigned int code;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
        code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
        code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

namespace scannames {

bool isValidUtf8(const char *text, size_t length)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = p + length;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int n = utf8SequenceAt(p, end);
        if (n == 0)
            return false;
        p += n;
    }
    return true;
}

QString escapedName(const QByteArray &bytes)
{
    QString out;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const unsigned char *end = p + bytes.size();
    while (p < end) {
        const int n = utf8SequenceAt(p, end);
        if (n == 0 || *p < 0x20 || *p == 0x7F) {
            out += QStringLiteral("\\x")
                + QString::number(*p, 16).toUpper().rightJustified(2, QLatin1Char('0'));
            ++p;
            continue;
        }
        out += QString::fromUtf8(reinterpret_cast<const char *>(p), n);
        p += n;
    }
    return out;
}

} // namespace scannames

void SkippedNames::add(Reason reason, const QByteArray &path)
{
    List &l = list(reason);
    ++l.count;
    if (l.names.size() < listedNames)
        l.names << scannames::escapedName(path);
}

void SkippedNames::clear()
{
    m_notUtf8 = List();
    m_tooLong = List();
}

QStringList SkippedNames::listed(Reason reason) const
{
    return reason == Reason::NotUtf8 ? m_notUtf8.names : m_tooLong.names;
}

QString SkippedNames::warningText() const
{
    QStringList paragraphs;
    auto paragraph = [&paragraphs](const QString &heading, const List &l) {
        if (l.count == 0)
            return;
        QString text = heading;
        for (const QString &name : l.names)
            text += QLatin1Char('\r') + name;
        if (l.count > l.names.size())
            text += QStringLiteral("\r(e mais %1)").arg(l.count - l.names.size());
        paragraphs << text;
    };
    paragraph(
        QStringLiteral("Estes nomes não estão em UTF-8 válido e não foram rastreados:"), m_notUtf8);
    paragraph(QStringLiteral("Estes caminhos passam do limite de %1 bytes do sistema e não foram "
                             "rastreados:")
                  .arg(scannames::pathLimit),
        m_tooLong);
    return paragraphs.join(QStringLiteral("\r\r"));
}
