#pragma once

class QLineEdit;
class QObject;

// Masks a line edit as the program's password fields do: each character shown as "*"
// (Qt's password echo draws the style's bullet). The style made for it belongs to owner,
// which must outlive the edit (its dialog, created before the style, is deleted after it).
void showAsterisks(QLineEdit *edit, QObject *owner);
