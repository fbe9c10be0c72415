#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Connection;
class Statement;

// The search of pictures by a typed text: one statement over six picture fields, the same
// for the main window's grid and for quillomar-cli.
class CatalogSearch {
public:
    struct Hit {
        qint64 recId = 0;
        QString collection;
        QString category;
        QString picture;
    };

    // The statement, line by line, with its parameters :Q1 to :Q6.
    static QStringList statementLines();
    // Fills :Q1 to :Q6 with the typed text between "%" signs, as typed: its own "%" and
    // "_" stay wildcards.
    static void bindText(Statement &statement, const QString &typed);
    // The box shown when nothing matched.
    static QString noHitMessage(const QString &typed);
    // Every hit in the statement's order, until `hit` returns false. Throws DbError.
    static void forEachHit(
        Connection &connection, const QString &typed, const std::function<bool(const Hit &)> &hit);
};
