#pragma once

#include <QByteArray>
#include <QStringView>
#include <cstdio>

// Data lines of quillomar-cli, written out in large blocks: a million lines must not cost a
// million allocations, so numbers and names are encoded straight into the buffer. Names are
// written so that a line stays a line and no control character reaches the terminal, as
// escapeControlCharacters (core/controlescape.h) writes them: \t, \n, \r, \\, else \xHH.
class LineWriter {
public:
    explicit LineWriter(FILE *out);

    void number(qint64 n);
    void byte(char c);
    // UTF-8 of the name with its control characters escaped; an unpaired surrogate becomes
    // U+FFFD.
    void name(QStringView text);
    // False when anything could not be written.
    bool flush();

private:
    static constexpr qsizetype kBlock = 1 << 16;

    char *cursor() { return m_buffer.data() + m_used; }
    void reserve(qsizetype bytes);

    FILE *m_out;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    bool m_failed = false;
};
