#include "maintenance/recordtables.h"

#include "store/tdados.h"

namespace recordtables {

RecordSet &recordSetOf(TDados &store, NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection: return store.TCollections;
    case NodeKind::Category: return store.TCategories;
    case NodeKind::Storage: return store.TStorages;
    case NodeKind::Picture:
    case NodeKind::None: break;
    }
    return store.TPictures;
}

QString tableOf(NodeKind kind)
{
    switch (kind) {
    case NodeKind::Collection: return QStringLiteral("Collections");
    case NodeKind::Category: return QStringLiteral("Categories");
    case NodeKind::Storage: return QStringLiteral("Storages");
    case NodeKind::Picture:
    case NodeKind::None: break;
    }
    return QStringLiteral("Pictures");
}

} // namespace recordtables
