#pragma once

#include <QByteArray>
#include <QList>

// The part of an XMP packet that the photo facts read, and nothing else. The XMP toolkit
// behind Exiv2 takes time that grows with the square of a node's children and recurses
// with the nesting, so a hostile or bloated packet (megabytes of edit history, thousands of
// properties) would cost it seconds or its stack; what it is given instead is small and
// flat. Re-entrant.
namespace XmpFilter {

// A larger packet is not read at all.
inline constexpr qsizetype kMaxPacketBytes = 256 * 1024;
// Items kept of one array (keywords), and the nesting kept inside one property.
inline constexpr int kMaxItems = 256;
inline constexpr int kMaxDepth = 8;

// The properties the facts read, each in a packet of its own (one the toolkit refuses costs
// only itself); none when the packet is too large, is not XMP, or holds none of them.
// Properties after an XML error are lost, those before it kept.
QList<QByteArray> filter(const QByteArray &packet);

} // namespace XmpFilter
