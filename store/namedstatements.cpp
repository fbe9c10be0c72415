#include "store/namedstatements.h"

#include "store/dberror.h"

std::shared_ptr<NamedStatements::Prepared> NamedStatements::get(const QString &sql)
{
    auto it = m_statements.constFind(sql);
    if (it != m_statements.constEnd())
        return *it;
    auto s = std::make_shared<Prepared>(m_connection, SqlParams(sql));
    m_statements.insert(sql, s);
    return s;
}

void NamedStatements::bindAll(Prepared &s, const QVariantMap &binds)
{
    for (int k = 0; k < s.names.size(); ++k) {
        const QString &name = s.names.at(k);
        auto it = binds.constFind(name);
        if (it == binds.constEnd()) {
            for (auto j = binds.constBegin(); j != binds.constEnd(); ++j) {
                if (j.key().compare(name, Qt::CaseInsensitive) == 0) {
                    it = j;
                    break;
                }
            }
        }
        if (it == binds.constEnd())
            throw DbError(QStringLiteral("Nenhum valor foi dado ao parâmetro :%1.").arg(name));
        s.statement.bind(k + 1, it.value());
    }
}

QVariant NamedStatements::scalar(const QString &sql, const QVariantMap &binds)
{
    const std::shared_ptr<Prepared> s = get(sql);
    Statement::Reset done(s->statement);
    bindAll(*s, binds);
    return s->statement.step() ? s->statement.value(0) : QVariant();
}

int NamedStatements::write(const QString &sql, const QVariantMap &binds)
{
    const std::shared_ptr<Prepared> s = get(sql);
    Statement::Reset done(s->statement);
    bindAll(*s, binds);
    return s->statement.exec();
}
