#include "intake/xmpfilter.h"

#include <QSet>

#include <functional>
#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString kRdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");

struct Schema {
    const char *uri;
    const char *prefix;
    std::initializer_list<const char *> names;
};

// The properties PhotoFactsReader looks at, by namespace.
const Schema kWanted[] = {
    { "http://purl.org/dc/elements/1.1/", "dc", { "subject", "title", "description" } },
    { "http://ns.adobe.com/xap/1.0/", "xmp", { "Rating", "CreateDate" } },
    { "http://ns.adobe.com/exif/1.0/", "exif",
        { "DateTimeOriginal", "DateTimeDigitized", "GPSLatitude", "GPSLongitude", "GPSAltitude",
            "GPSAltitudeRef", "ExposureTime", "FNumber", "FocalLength", "ISOSpeedRatings" } },
    { "http://ns.adobe.com/tiff/1.0/", "tiff", { "Make", "Model", "Orientation" } },
    { "http://ns.adobe.com/exif/1.0/aux/", "aux", { "Lens" } },
    { "http://cipa.jp/exif/1.0/", "exifEX", { "LensModel", "PhotographicSensitivity" } },
    { "http://ns.adobe.com/photoshop/1.0/", "photoshop", { "DateCreated" } },
};

QString key(QStringView uri, QStringView name)
{
    return uri.toString() + QLatin1Char(' ') + name.toString();
}

const QSet<QString> &wanted()
{
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const Schema &schema : kWanted)
            for (const char *name : schema.names)
                s.insert(key(QString::fromLatin1(schema.uri), QString::fromLatin1(name)));
        return s;
    }();
    return set;
}

const QString kXml = QStringLiteral("http://www.w3.org/XML/1998/namespace");

// Starts in the writer the element the reader stands on, with its RDF and xml: attributes
// only: the toolkit registers for good every namespace it meets, so a file of invented
// namespaces would grow the process with every picture read.
void startElement(const QXmlStreamReader &reader, QXmlStreamWriter &writer)
{
    writer.writeStartElement(reader.namespaceUri().toString(), reader.name().toString());
    for (const QXmlStreamAttribute &attribute : reader.attributes())
        if (attribute.namespaceUri() == kRdf || attribute.namespaceUri() == kXml)
            writer.writeAttribute(attribute.namespaceUri().toString(), attribute.name().toString(),
                attribute.value().toString());
}

// Copies the property the reader stands on, up to its end: its RDF structure (arrays,
// alternatives, items) and text, at most kMaxItems items of an array, nothing nested deeper
// than kMaxDepth and no element of another namespace.
void copyProperty(QXmlStreamReader &reader, QXmlStreamWriter &writer)
{
    startElement(reader, writer);
    int depth = 1;
    int items = 0;
    while (depth > 0 && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth >= XmpFilter::kMaxDepth || reader.namespaceUri() != kRdf
                || (depth == 2 && reader.name() == u"li" && ++items > XmpFilter::kMaxItems)) {
                reader.skipCurrentElement();
                break;
            }
            startElement(reader, writer);
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            writer.writeEndElement();
            --depth;
            break;
        case QXmlStreamReader::Characters:
            writer.writeCharacters(reader.text().toString());
            break;
        default: break; // comments, processing instructions
        }
    }
}

} // namespace

namespace XmpFilter {

QList<QByteArray> filter(const QByteArray &packet)
{
    if (packet.size() > kMaxPacketBytes)
        return {};
    QXmlStreamReader reader(packet);
    // No document type, hence no entities to expand.
    reader.setEntityExpansionLimit(0);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.namespaceUri() == kRdf
            && reader.name() == u"RDF")
            break;
    }
    if (reader.atEnd() || reader.hasError())
        return {};

    QList<QByteArray> properties;
    // A packet around one property, which writeProperty writes.
    const auto write = [&properties](const std::function<void(QXmlStreamWriter &)> &writeProperty) {
        QByteArray out;
        QXmlStreamWriter writer(&out);
        writer.writeStartElement(QStringLiteral("adobe:ns:meta/"), QStringLiteral("xmpmeta"));
        writer.writeNamespace(QStringLiteral("adobe:ns:meta/"), QStringLiteral("x"));
        writer.writeNamespace(kRdf, QStringLiteral("rdf"));
        for (const Schema &schema : kWanted)
            writer.writeNamespace(QString::fromLatin1(schema.uri), QString::fromLatin1(schema.prefix));
        writer.writeStartElement(kRdf, QStringLiteral("RDF"));
        writer.writeStartElement(kRdf, QStringLiteral("Description"));
        writer.writeAttribute(kRdf, QStringLiteral("about"), QString());
        writeProperty(writer);
        writer.writeEndDocument();
        properties.append(out);
    };

    // A property said twice (in two descriptions) is read once.
    QSet<QString> seen;
    while (reader.readNextStartElement()) { // the children of rdf:RDF
        if (reader.namespaceUri() != kRdf || reader.name() != u"Description") {
            reader.skipCurrentElement();
            continue;
        }
        // Simple properties may be written as attributes of the description.
        for (const QXmlStreamAttribute &attribute : reader.attributes()) {
            const QString k = key(attribute.namespaceUri(), attribute.name());
            if (!wanted().contains(k) || seen.contains(k))
                continue;
            seen.insert(k);
            write([&attribute](QXmlStreamWriter &writer) {
                writer.writeTextElement(attribute.namespaceUri().toString(),
                    attribute.name().toString(), attribute.value().toString());
            });
        }
        while (reader.readNextStartElement()) { // its properties
            const QString k = key(reader.namespaceUri(), reader.name());
            if (!wanted().contains(k) || seen.contains(k)) {
                reader.skipCurrentElement();
                continue;
            }
            seen.insert(k);
            write([&reader](QXmlStreamWriter &writer) { copyProperty(reader, writer); });
        }
    }
    return properties;
}

} // namespace XmpFilter
