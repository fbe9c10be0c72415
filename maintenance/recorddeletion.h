#pragma once

#include "browser/nodekind.h"

#include <QString>

class Prompter;
class TDados;

// Deleting the current collection, category, picture or storage: system rows refused, the
// person asked, and for a picture its file (when wanted) and its thumbnail removed. The
// record and its dependants go in one statement; the catalogue's relations cascade.
class RecordDeletion {
public:
    RecordDeletion(TDados &store, Prompter &prompter) : m_store(store), m_prompter(prompter) { }

    // Before the row goes: false when it must stay (a system row, or the person said No).
    // For a picture, remembers its file when the person wants it gone too.
    bool confirm(NodeKind kind);
    // After the row went: the picture's file when asked for, and its thumbnail.
    void finish(NodeKind kind);
    // The three steps on the current row of that kind, as the record navigator runs them;
    // false when nothing was deleted. Throws DbError when the engine refuses.
    bool run(NodeKind kind);

    // The picture file the person chose to remove with the record; empty when none.
    QString FileToDelete;

private:
    void deleteFile(const QString &path);
    void reportFailure(const QString &path, const QString &reason);

    TDados &m_store;
    Prompter &m_prompter;
    qint64 m_picture = 0; // the picture being deleted, for its thumbnail
};
