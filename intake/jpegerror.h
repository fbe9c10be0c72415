#pragma once

#include <QString>

#include <stdexcept>

// A failed thumbnail conversion; what() is the text shown to the user: "Invalid Width",
// "Invalid Height", "JPEG error #<libjpeg message code>", or a file that cannot be opened
// or written.
class JpegError : public std::runtime_error {
public:
    // Whether the picture was at fault, or the place the thumbnail goes (a full disk, a
    // folder that cannot be written), which every other thumbnail would meet as well.
    enum class Where { Picture, Destination };

    explicit JpegError(const QString &message, int code = 0, Where where = Where::Picture);
    QString message() const { return QString::fromUtf8(what()); }
    // The libjpeg message code behind a "JPEG error #" text, 0 otherwise.
    int code() const { return m_code; }
    bool destination() const { return m_where == Where::Destination; }

private:
    int m_code;
    Where m_where;
};
