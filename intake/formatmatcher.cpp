#include "intake/formatmatcher.h"

#include "intake/scannames.h"
#include "store/query.h"

namespace {

// An empty text occurs nowhere.
bool occursIn(const QString &list, const QString &text)
{
    return !text.isEmpty() && list.contains(text);
}

} // namespace

void FormatMatcher::load(Connection &connection)
{
    m_formats.clear();
    m_extensionList.clear();
    m_variationList.clear();
    m_decisions.clear();
    Query query(connection);
    query.setSql(QStringLiteral("SELECT Extension, Variation FROM Formats ORDER BY rowid"));
    query.open();
    while (!query.eof()) {
        const FormatRow row { query.asString(QStringLiteral("Extension")),
            query.asString(QStringLiteral("Variation")) };
        m_formats.append(row);
        m_extensionList += QLatin1Char('.') + row.extension;
        if (!row.variation.trimmed().isEmpty())
            m_variationList += QLatin1Char('.') + row.variation;
        query.next();
    }
    query.close();
    m_extensionList += m_variationList;
}

const FormatMatcher::Decision &FormatMatcher::decide(const QByteArray &extension)
{
    auto it = m_decisions.constFind(extension);
    if (it != m_decisions.cend())
        return *it;
    Decision decision;
    if (scannames::isValidUtf8(extension.constData(), size_t(extension.size()))) {
        QString ext = QString::fromUtf8(extension).toLower();
        if (occursIn(m_variationList, ext)) {
            ext.remove(0, 1);
            for (const FormatRow &row : std::as_const(m_formats)) {
                if (row.variation.compare(ext, Qt::CaseInsensitive) == 0) {
                    ext = QLatin1Char('.') + row.extension.trimmed();
                    break;
                }
            }
        }
        if (occursIn(m_extensionList, ext)) {
            if (ext.startsWith(QLatin1Char('.')))
                ext.remove(0, 1);
            decision.taken = true;
            decision.fileType = ext.toUtf8();
        }
    }
    // The key may point into the directory entry: keep a copy of its bytes.
    return *m_decisions.insert(QByteArray(extension.constData(), extension.size()), decision);
}
