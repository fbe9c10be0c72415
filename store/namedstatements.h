#pragma once

#include "store/sqlparams.h"
#include "store/statement.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>

class Connection;

// The statements of one record set, kept prepared while their text stays the same: a move
// is one bind, one step and one reset, without a result object built per call. Texts name
// their parameters (":NAME", letter case ignored when binding); each is bound from a map.
class NamedStatements {
public:
    struct Prepared {
        QStringList names; // the parameter name of each "?", in order
        Statement statement;
        Prepared(Connection &connection, const SqlParams &params)
            : names(params.occurrences()),
              statement(connection, params.numberedSql(), Statement::Lifetime::Persistent)
        {
        }
    };

    explicit NamedStatements(Connection &connection) : m_connection(connection) { }

    // Prepares the text the first time it is asked for.
    std::shared_ptr<Prepared> get(const QString &sql);
    // Binds every parameter from the map; throws DbError for one the map lacks.
    static void bindAll(Prepared &prepared, const QVariantMap &binds);
    // The first column of the first row; invalid when there is none.
    QVariant scalar(const QString &sql, const QVariantMap &binds);
    // Runs a statement that changes rows; returns how many it changed.
    int write(const QString &sql, const QVariantMap &binds);
    // Finalizes them all (the connection is closing, or the table changed).
    void clear() { m_statements.clear(); }

private:
    Connection &m_connection;
    QHash<QString, std::shared_ptr<Prepared>> m_statements;
};
