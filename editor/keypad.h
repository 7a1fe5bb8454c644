#pragma once

#include "codepage.h"

#include <QString>
#include <span>

namespace kav {

// One keypad button: its form number (CommandN), caption, the code it enters, and its place in
// the window's tab order. Column and row give where it stands in the three-column keypad.
struct KeypadKey {
    int number;
    const char* caption; // UTF-8
    Code code;
    int tabPlace;
    int column;
    int row;

    QString objectName() const { return QStringLiteral("Command%1").arg(number); }
    QString token() const;
};

std::span<const KeypadKey> keypadKeys();

// The keyboard enters exactly the printable characters "0" to "}" (codes 48-125).
bool isKeyboardCharacter(QChar ch);

} // namespace kav
