#pragma once

#include <QString>

// Texts that several parts of the program must agree on.
namespace appconst {
inline const QString ApplicationTitle = QStringLiteral("Quillomar");
// The maker's home page: opened from the help menu and written in every e-mail footer.
inline const QString HomePageAddress = QStringLiteral("https://www.marveth.com.br/");
} // namespace appconst
