#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class Connection;

// Which files a scan takes, and as what type, from the rows of Formats: a file's lowered
// extension is mapped through the variations (".jpeg" to ".jpg") and must then occur in
// the extension list, a substring test as the lists are written (".jp" is taken as "jp").
// The answer for each extension met is kept, so a file costs one lookup.
class FormatMatcher {
public:
    struct Decision {
        bool taken = false;
        QByteArray fileType; // the extension without its dot, as Formats writes it
    };

    // Reads every row of Formats in the table's order, whether in use or not. Throws DbError.
    void load(Connection &connection);
    // `extension` with its dot, as bytes of the name; it may point into a directory entry.
    const Decision &decide(const QByteArray &extension);

    QString extensionList() const { return m_extensionList; }
    QString variationList() const { return m_variationList; }

private:
    struct FormatRow {
        QString extension;
        QString variation;
    };
    QList<FormatRow> m_formats;
    QString m_extensionList;
    QString m_variationList;
    QHash<QByteArray, Decision> m_decisions;
};
