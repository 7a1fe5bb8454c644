#pragma once

#include "codepage.h"

#include <QString>
#include <Qt>
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

// The characters one key stroke types, as the send box's key-press handler receives them. Ctrl
// or Alt with a key types no printable character (Ctrl with a letter is a control character;
// Alt with a key is a menu key), whatever text the toolkit attaches to the event; Ctrl and Alt
// together are AltGr on Windows and type what the key shows. The yen sign is the Japanese
// keyboard's backslash key and types "\\".
QString typedCharacters(Qt::KeyboardModifiers modifiers, const QString& text);

} // namespace kav
