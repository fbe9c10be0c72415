#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Header texts of an outgoing message that libcurl's MIME API leaves to its caller, in
// the forms mail clients decode: RFC 2047 encoded words for non-ASCII names and subjects,
// RFC 2231 for non-ASCII attachment names. Inputs never hold control characters (the
// send refuses them before); outputs are plain ASCII.
namespace mailheaders {

// The text as is when it is printable ASCII, otherwise UTF-8 "B" encoded words of at most
// 75 characters each, folded onto continuation lines.
QByteArray encodedText(const QString &text);
// "Ana Silva" <ana@x.com>, =?UTF-8?B?...?= <ana@x.com>, or the address alone.
QByteArray mailbox(const QString &name, const QString &address);
// The addresses separated by commas, one per folded line.
QByteArray addressList(const QStringList &addresses);
// attachment; filename="praia.jpg" or attachment; filename*=UTF-8''F%C3%A9rias.jpg
QByteArray attachmentDisposition(const QString &fileName);

} // namespace mailheaders
