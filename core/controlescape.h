#pragma once

#include <QString>

// Text that came from outside (a server's reply, a name read from a catalogue) with every
// control character written out, so that it can reach a terminal, a box or a log line without
// acting on them: TAB, newline and backslash as \t, \n and \\ (as the tree lines write them),
// carriage return as \r, every other C0 or C1 control and DEL as \xHH.
QString escapeControlCharacters(const QString &text);

// True when escapeControlCharacters would change the text.
bool needsControlEscape(const QString &text);

// True when the text holds a control character as escapeControlCharacters knows them (a
// line break among them): such a text would add commands or header lines of its own to a
// protocol conversation, so the transfers refuse it.
bool hasControlCharacters(const QString &text);
