#include "store/columntype.h"

#include "store/dberror.h"
#include "store/dbvalues.h"

#include <QDateTime>

namespace {

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

} // namespace

ColumnType ColumnType::fromDeclaration(const QString &declared)
{
    const QString t = declared.toUpper();
    auto has = [&t](const char *word) { return t.contains(QLatin1String(word)); };
    if (has("BOOL"))
        return { Kind::Other, Value::Boolean };
    if (has("DATE") || has("TIME"))
        return { Kind::Other, Value::DateTime };
    if (has("CHAR"))
        return { Kind::ShortText, Value::Text };
    if (has("TEXT") || has("CLOB") || has("MEMO"))
        return { Kind::LongText, Value::Text };
    if (has("INT"))
        return { Kind::Other, Value::Integer };
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM") || has("DEC"))
        return { Kind::Other, Value::Real };
    if (has("BLOB"))
        return { Kind::Other, Value::Blob };
    return { Kind::Other, Value::Text }; // no declared type: whatever was stored
}

QVariant ColumnType::fromStorage(const QVariant &stored) const
{
    if (isNullValue(stored))
        return QVariant();
    switch (value) {
    case Value::Boolean:
        if (stored.metaType().id() == QMetaType::QString) {
            const QString t = stored.toString().trimmed();
            if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return true;
            if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return false;
            return t.toDouble() != 0;
        }
        return stored.toDouble() != 0;
    case Value::DateTime: {
        const QDateTime d = dbvalues::fromDbDate(stored);
        return d.isValid() ? QVariant(d) : stored;
    }
    case Value::Integer:
        if (stored.metaType().id() == QMetaType::QString) {
            bool ok = false;
            const qlonglong n = stored.toString().toLongLong(&ok);
            return ok ? QVariant(n) : stored;
        }
        return stored;
    case Value::Text:
        return stored.metaType().id() == QMetaType::QString ? stored : QVariant(stored.toString());
    case Value::Real:
    case Value::Blob: return stored;
    }
    return stored;
}

QVariant ColumnType::toStorage(const QVariant &given) const
{
    if (isNullValue(given))
        return QVariant();
    const bool isText = given.metaType().id() == QMetaType::QString;
    const QString text = isText ? given.toString().trimmed() : QString();
    switch (this->value) {
    case Value::Boolean:
        if (isText) {
            if (text.isEmpty())
                return QVariant();
            if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return qlonglong(1);
            if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return qlonglong(0);
        }
        return qlonglong(given.toDouble() != 0 || given.toBool() ? 1 : 0);
    case Value::DateTime: {
        if (isText && text.isEmpty())
            return QVariant();
        const QDateTime d = dbvalues::fromDbDate(given);
        if (!d.isValid())
            throw DbError(
                QStringLiteral("'%1' não é uma data e hora válida.").arg(given.toString()));
        return dbvalues::toDbDate(d);
    }
    case Value::Integer: {
        if (given.metaType().id() == QMetaType::Bool)
            return qlonglong(given.toBool() ? 1 : 0);
        if (given.metaType().id() == QMetaType::Double) {
            const double d = given.toDouble();
            return d == qlonglong(d) ? QVariant(qlonglong(d)) : given;
        }
        if (!isText)
            return given.toLongLong();
        if (text.isEmpty())
            return QVariant();
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (!ok)
            throw DbError(
                QStringLiteral("'%1' não é um número inteiro válido.").arg(given.toString()));
        return n;
    }
    case Value::Real: {
        if (!isText)
            return given.metaType().id() == QMetaType::Bool ? QVariant(given.toBool() ? 1 : 0)
                                                            : given;
        if (text.isEmpty())
            return QVariant();
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (!ok)
            throw DbError(QStringLiteral("'%1' não é um número válido.").arg(given.toString()));
        return d;
    }
    case Value::Text: {
        if (given.metaType().id() == QMetaType::QDateTime
            || given.metaType().id() == QMetaType::Bool)
            return dbvalues::toDbValue(given).toString();
        const QString s = given.toString();
        return s.isNull() ? QVariant() : QVariant(s);
    }
    case Value::Blob: return given;
    }
    return given;
}
