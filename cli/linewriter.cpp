#include "cli/linewriter.h"

#include <QChar>

#include <charconv>

LineWriter::LineWriter(FILE *out) : m_out(out)
{
    m_buffer.resize(kBlock);
}

void LineWriter::number(qint64 n)
{
    reserve(24);
    char *end = std::to_chars(cursor(), cursor() + 24, n).ptr;
    m_used = end - m_buffer.data();
}

void LineWriter::byte(char c)
{
    reserve(1);
    m_buffer[m_used++] = c;
}

void LineWriter::name(QStringView text)
{
    // At most 4 bytes a unit: "\xHH", or a surrogate pair's 4 bytes for its 2 units.
    reserve(4 * text.size());
    static constexpr char hex[] = "0123456789abcdef";
    char *p = cursor();
    const char16_t *u = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char32_t c = u[i];
        // Control characters as escapeControlCharacters writes them, so that no byte of a
        // name acts on the terminal or breaks the line.
        if (c < 0x20 || c == '\\' || (c >= 0x7F && c <= 0x9F)) {
            *p++ = '\\';
            switch (c) {
            case '\\': *p++ = '\\'; break;
            case '\t': *p++ = 't'; break;
            case '\n': *p++ = 'n'; break;
            case '\r': *p++ = 'r'; break;
            default:
                *p++ = 'x';
                *p++ = hex[c >> 4];
                *p++ = hex[c & 0xF];
            }
        } else if (c < 0x80) {
            *p++ = char(c);
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
            const char32_t full = QChar::surrogateToUcs4(char16_t(c), u[++i]);
            *p++ = char(0xF0 | (full >> 18));
            *p++ = char(0x80 | ((full >> 12) & 0x3F));
            *p++ = char(0x80 | ((full >> 6) & 0x3F));
            *p++ = char(0x80 | (full & 0x3F));
        } else {
            const char32_t bmp = QChar::isSurrogate(c) ? char32_t(0xFFFD) : c;
            *p++ = char(0xE0 | (bmp >> 12));
            *p++ = char(0x80 | ((bmp >> 6) & 0x3F));
            *p++ = char(0x80 | (bmp & 0x3F));
        }
    }
    m_used = p - m_buffer.data();
}

bool LineWriter::flush()
{
    if (m_used > 0 && std::fwrite(m_buffer.constData(), 1, size_t(m_used), m_out) != size_t(m_used))
        m_failed = true;
    m_used = 0;
    return !m_failed;
}

void LineWriter::reserve(qsizetype bytes)
{
    if (m_used + bytes <= m_buffer.size())
        return;
    flush();
    if (bytes > m_buffer.size())
        m_buffer.resize(bytes);
}
