#include "cli/treecommand.h"

#include "browser/treeloader.h"
#include "browser/treerows.h"
#include "cli/clicommands.h"
#include "store/dberror.h"
#include "store/tdados.h"

#include <QByteArray>
#include <QVector>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// A line buffer written out in large blocks; a million nodes must not cost a million
// allocations, so numbers and names are encoded straight into it.
class LineWriter {
public:
    explicit LineWriter(FILE *out) : m_out(out) { m_buffer.resize(kBlock); }

    void number(qint64 n)
    {
        reserve(24);
        char *end = std::to_chars(cursor(), cursor() + 24, n).ptr;
        m_used = end - m_buffer.data();
    }
    void byte(char c)
    {
        reserve(1);
        m_buffer[m_used++] = c;
    }
    // UTF-8 of the name with \t, \n and \\ escaped; an unpaired surrogate becomes U+FFFD.
    void name(QStringView text)
    {
        reserve(6 * text.size());
        char *p = cursor();
        const char16_t *u = text.utf16();
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char32_t c = u[i];
            if (c < 0x80) {
                if (c == '\\' || c == '\t' || c == '\n') {
                    *p++ = '\\';
                    *p++ = c == '\\' ? '\\' : c == '\t' ? 't' : 'n';
                } else {
                    *p++ = char(c);
                }
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
    // False when anything could not be written.
    bool flush()
    {
        if (m_used > 0
            && std::fwrite(m_buffer.constData(), 1, size_t(m_used), m_out) != size_t(m_used))
            m_failed = true;
        m_used = 0;
        return !m_failed;
    }

private:
    static constexpr qsizetype kBlock = 1 << 16;

    char *cursor() { return m_buffer.data() + m_used; }
    void reserve(qsizetype bytes)
    {
        if (m_used + bytes <= m_buffer.size())
            return;
        flush();
        if (bytes > m_buffer.size())
            m_buffer.resize(bytes);
    }

    FILE *m_out;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    bool m_failed = false;
};

// Each node of a walk as one line, written as it comes.
class TreePrinter : public TreeLoader::Visitor {
public:
    TreePrinter(int treeNumber, LineWriter &line) : m_treeNumber(treeNumber), m_line(line) { }
    void node(const TreeLoader::Node &n) override
    {
        m_line.number(m_treeNumber);
        m_line.byte('\t');
        m_line.number(n.depth);
        m_line.byte('\t');
        m_line.byte('N');
        m_line.number(int(n.kind));
        m_line.byte('=');
        m_line.number(n.key);
        m_line.byte('\t');
        m_line.name(n.rows.name(n.row, n.depth));
        m_line.byte('\n');
    }

private:
    int m_treeNumber;
    LineWriter &m_line;
};

} // namespace

// Each tree is printed as soon as it is read, and its rows' memory serves the next one.
int runTreeCommand(TDados &store, FILE *out)
{
    LineWriter line(out);
    TreeRows rows;
    const TreeLoader::Which trees[]
        = { TreeLoader::Which::Organisation, TreeLoader::Which::Location };
    for (int t = 0; t < 2; ++t) {
        const std::optional<DbError> failed = TreeLoader::read(store, trees[t], rows);
        if (failed) {
            line.flush();
            std::fflush(out);
            std::fprintf(stderr, "%s\n", failed->message().toLocal8Bit().constData());
            return ExitFailure;
        }
        TreePrinter printer(t + 1, line);
        TreeLoader::walk(rows, trees[t], printer);
    }
    const bool written = line.flush() && std::fflush(out) == 0 && !std::ferror(out);
    if (!written) {
        std::fprintf(stderr, "Não foi possível gravar a saída: %s\n", std::strerror(errno));
        return ExitFailure;
    }
    return ExitOk;
}
