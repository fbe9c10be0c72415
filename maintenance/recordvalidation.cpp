#include "maintenance/recordvalidation.h"

#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"

namespace {
const QString kName = QStringLiteral("Name");
const QString kRecId = QStringLiteral("RecId");

bool blank(const RecordSet &set, const QString &column)
{
    return set.asString(column).trimmed().isEmpty();
}

// A picker is unset when its key is null or 0.
bool unset(const RecordSet &set, const QString &column)
{
    return set.isNull(column) || set.asInt(column) == 0;
}

// 0 for a row not saved yet, so that every stored row counts as another one.
qint64 currentId(const RecordSet &set)
{
    return set.state() == RecordSet::State::Insert || set.isNull(kRecId) ? 0 : set.asInt(kRecId);
}
} // namespace

bool RecordValidation::validate(NodeKind kind, const Focus &focus)
{
    switch (kind) {
    case NodeKind::Collection: return ValidateCollection(focus);
    case NodeKind::Category: return ValidateCategory(focus);
    case NodeKind::Picture: return ValidatePicture(focus);
    case NodeKind::Storage: return ValidateStorage(focus);
    case NodeKind::None: break;
    }
    return true;
}

bool RecordValidation::fail(const QString &message, const QString &column, const Focus &focus)
{
    m_prompter.beep();
    m_prompter.error(message);
    if (focus)
        focus(column);
    return false;
}

bool RecordValidation::taken(const QString &sql, const QVariantMap &params)
{
    Query &q = m_store.SQLTmp;
    try {
        if (q.isOpen())
            q.close();
        q.clearSql();
        q.addLine(sql);
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            q.setParam(it.key(), it.value());
        q.open();
        const bool found = !q.isEmpty();
        q.close();
        return found;
    } catch (const DbError &) {
        q.close();
        m_prompter.beep();
        m_prompter.error(QStringLiteral("Consulta não efetuada!"));
        return false;
    }
}

bool RecordValidation::ValidateCollection(const Focus &focus)
{
    const RecordSet &set = m_store.TCollections;
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    if (taken(QStringLiteral("SELECT * FROM Collections WHERE Name = :NEW AND RecId <> :CUR"),
            { { QStringLiteral("NEW"), set.asString(kName) },
                { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Coleção já cadastrada!"), kName, focus);
    return true;
}

bool RecordValidation::ValidateCategory(const Focus &focus)
{
    const RecordSet &set = m_store.TCategories;
    const QString collection = QStringLiteral("Collection");
    if (unset(set, collection))
        return fail(QStringLiteral("Coleção inválida!"), collection, focus);
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    if (taken(QStringLiteral("SELECT * FROM Categories WHERE Collection = :COL AND Name = :NEW "
                             "AND RecId <> :CUR"),
            { { QStringLiteral("COL"), set.asInt(collection) },
                { QStringLiteral("NEW"), set.asString(kName) },
                { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Categoria já cadastrada nesta coleção!"), kName, focus);
    return true;
}

bool RecordValidation::ValidatePicture(const Focus &focus)
{
    const RecordSet &set = m_store.TPictures;
    const QString collection = QStringLiteral("Collection");
    const QString category = QStringLiteral("Category");
    const QString fileName = QStringLiteral("FileName");
    if (unset(set, collection))
        return fail(QStringLiteral("Coleção inválida!"), collection, focus);
    if (unset(set, category))
        return fail(QStringLiteral("Categoria inválida!"), category, focus);
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    if (blank(set, fileName))
        return fail(QStringLiteral("Arquivo inválido!"), fileName, focus);
    if (blank(set, QStringLiteral("FullPath")))
        return fail(QStringLiteral("Caminho inválido!"), QStringLiteral("FullPath"), focus);
    if (taken(QStringLiteral("SELECT * FROM Pictures WHERE Category = :CAT AND Name = :NEW AND "
                             "RecId <> :CUR"),
            { { QStringLiteral("CAT"), set.asInt(category) },
                { QStringLiteral("NEW"), set.asString(kName) },
                { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Imagem já cadastrada nesta categoria!"), kName, focus);
    const QDateTime created = set.asDateTime(QStringLiteral("Created"));
    if (taken(QStringLiteral("SELECT * FROM Pictures WHERE FileName = :FILE AND Created = :DATE "
                             "AND RecId <> :RECD"),
            { { QStringLiteral("FILE"), set.asString(fileName) },
                { QStringLiteral("DATE"), created.isValid() ? QVariant(created) : QVariant() },
                { QStringLiteral("RECD"), currentId(set) } }))
        return fail(QStringLiteral("Imagem já catalogada!"), kName, focus);
    return true;
}

bool RecordValidation::ValidateStorage(const Focus &focus)
{
    const RecordSet &set = m_store.TStorages;
    if (blank(set, kName))
        return fail(QStringLiteral("Nome inválido!"), kName, focus);
    if (taken(QStringLiteral("SELECT * FROM Storages WHERE Name = :NEW AND RecId <> :CUR"),
            { { QStringLiteral("NEW"), set.asString(kName) },
                { QStringLiteral("CUR"), currentId(set) } }))
        return fail(QStringLiteral("Local já cadastrado!"), kName, focus);
    return true;
}
