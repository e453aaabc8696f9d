#pragma once
// Per-field filters for typed characters.
#include <QChar>
#include <QObject>

enum KeyFilter : int {
    filterDigits = 0,  // "0" to "9"
    filterHex = 1,     // "0" to "9", "A" to "F", "a" to "f"
    filterAddress = 2, // "0" to "9" and "."
};

// Returns key when filter lets it through, QChar(0) otherwise. Backspace passes
// every filter; a filter number other than 0, 1 or 2 lets everything through.
QChar keyfilter(QChar key, int filter);

class QWidget;

// Applies keyfilter to the characters typed into an edit field or into the
// text of an editable selector. Only typed characters are filtered: text the
// program sets, and control keys (editing, copy and paste), pass untouched.
void installKeyFilter(QWidget *field, int filter);
