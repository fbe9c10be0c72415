#pragma once

#include <QString>

// True when the text holds a character below 32 or DEL (a line break among them): such a
// text would add commands or header lines of its own to a protocol conversation.
bool hasControlCharacters(const QString &text);

// The text with every control character shown as "?", for a box or a log line.
QString withoutControlCharacters(const QString &text);
