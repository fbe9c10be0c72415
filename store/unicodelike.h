#pragma once

#include <QByteArrayView>

struct sqlite3;

// The LIKE match of the catalogue's searches: the engine's wildcards ("%" any run, "_" one
// character, no escape character) with letter case folded over the whole of Unicode (simple
// case folding), where the engine's own LIKE folds ASCII letters only; and accents matched as
// people type: a letter typed without an accent matches it with or without any ("sao joao"
// matches "São João", "forro" matches "Forró"), one typed with an accent matches only that
// accent ("forró" does not match "forro"). Accents written as combining marks count as the
// letters they compose. Texts are UTF-8; a byte that is not part of valid UTF-8 is one
// character that matches only itself (or "_").
class UnicodeLike {
public:
    // Replaces like(X, Y) on the handle, and with it the LIKE operator without ESCAPE.
    static void install(sqlite3 *db);
    // True when `text` matches `pattern` (text LIKE pattern).
    static bool matches(QByteArrayView pattern, QByteArrayView text);
};
