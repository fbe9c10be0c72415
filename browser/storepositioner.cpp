#include "browser/storepositioner.h"

#include "store/query.h"
#include "store/tdados.h"

namespace {
const QString kRecId = QStringLiteral("RecId");
} // namespace

bool StorePositioner::positionOn(NodeCode node)
{
    TDados &d = m_store;
    switch (node.kind) {
    case NodeKind::Collection: return d.TCollections.locate(kRecId, node.key);
    case NodeKind::Category:
        if (!d.TCategories.locate(kRecId, node.key))
            return false;
        d.TCollections.locate(kRecId, d.TCategories.value(QStringLiteral("Collection")));
        return true;
    case NodeKind::Picture:
        if (!d.TPictures.locate(kRecId, node.key))
            return false;
        if (d.TCategories.locate(kRecId, d.TPictures.value(QStringLiteral("Category"))))
            d.TCollections.locate(kRecId, d.TCategories.value(QStringLiteral("Collection")));
        d.TStorages.locate(kRecId, d.TPictures.value(QStringLiteral("Location")));
        return true;
    case NodeKind::Storage: return d.TStorages.locate(kRecId, node.key);
    case NodeKind::None: break;
    }
    return false;
}

bool StorePositioner::tieCategories(bool tie)
{
    if (tie == m_tied)
        return false;
    RecordSet &categories = m_store.TCategories;
    if (tie) {
        categories.setSort(QStringLiteral("Collection"));
        categories.setMaster(&m_store.TCollections, kRecId, QStringLiteral("Collection"));
    } else {
        categories.clearMaster();
        categories.setSort(QStringLiteral("Collection;Name"));
    }
    m_tied = tie;
    return true;
}

void StorePositioner::followPicture()
{
    TDados &d = m_store;
    if (d.TCategories.isEditing())
        return;
    d.TCategories.requery();
    if (!d.TCollections.isEditing())
        d.TCollections.locate(kRecId, d.TPictures.value(QStringLiteral("Collection")));
    d.TCategories.locate(kRecId, d.TPictures.value(QStringLiteral("Category")));
}

RecordSet &StorePositioner::recordSetOf(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection: return m_store.TCollections;
    case NodeKind::Category: return m_store.TCategories;
    case NodeKind::Storage: return m_store.TStorages;
    case NodeKind::Picture:
    case NodeKind::None: break;
    }
    return m_store.TPictures;
}

bool StorePositioner::exists(NodeCode node)
{
    if (!node.isValid())
        return false;
    Query q(m_store.Conexao);
    q.setSql(QStringLiteral("SELECT RecId FROM %1 WHERE RecId = :KEY")
                 .arg(recordSetOf(node.kind).tableName()));
    q.setParam(QStringLiteral("KEY"), node.key);
    q.open();
    const bool found = !q.isEmpty();
    q.close();
    return found;
}

bool StorePositioner::standsOn(NodeCode node)
{
    if (!node.isValid())
        return false;
    const RecordSet &set = recordSetOf(node.kind);
    return set.isOpen() && set.rowId() == node.key && exists(node);
}

bool StorePositioner::standOn(NodeCode node)
{
    if (!node.isValid())
        return false;
    RecordSet &set = recordSetOf(node.kind);
    if (!set.isOpen())
        return false;
    if (set.rowId() == node.key)
        return exists(node);
    return !set.isEditing() && positionOn(node);
}
