#pragma once

#include <QStringView>

// Portuguese alphabetical order of names, as a dictionary lists them: letters compared
// without accents and case first ("abelha, Água, Árvore, Avião, Ébano, Zebra"), ties
// broken by the accents, then by case (lower before upper), then by the code units so that
// only equal texts compare equal. The catalogue file orders by SQLite's NOCASE, which folds
// ASCII only; lists shown to the person are put in this order in the program.
class NameCollation {
public:
    // Negative, zero or positive as a sorts before, with or after b.
    static int compare(QStringView a, QStringView b);
    static bool lessThan(QStringView a, QStringView b) { return compare(a, b) < 0; }
};
