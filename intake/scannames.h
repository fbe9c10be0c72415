#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <climits>
#include <cstddef>

// What the scan checks of a name before it catalogues it. Names are bytes: a name that is
// not valid UTF-8 cannot be stored as text nor opened again through a text path, and a
// path longer than the system's limit cannot be opened again at all.
namespace scannames {

// The longest path the system opens (PATH_MAX counts the terminating zero).
constexpr qsizetype pathLimit = PATH_MAX - 1;

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF): exactly the
// byte strings that survive the trip to QString and back unchanged.
bool isValidUtf8(const char *text, size_t length);
// A name for a message box: valid text as it is, other bytes and control characters as \xNN.
QString escapedName(const QByteArray &bytes);

} // namespace scannames

// The files and folders a scan passed over because of their names, and the one warning
// that lists them at its end.
class SkippedNames {
public:
    enum class Reason { NotUtf8, TooLong };

    void add(Reason reason, const QByteArray &path);
    void clear();
    bool isEmpty() const { return m_notUtf8.count == 0 && m_tooLong.count == 0; }
    // The first paths passed over for the reason, escaped.
    QStringList listed(Reason reason) const;
    // The warning text: one paragraph per reason, "\r" between lines.
    QString warningText() const;

private:
    struct List {
        QStringList names;
        int count = 0;
    };
    List &list(Reason reason) { return reason == Reason::NotUtf8 ? m_notUtf8 : m_tooLong; }

    List m_notUtf8;
    List m_tooLong;
};
