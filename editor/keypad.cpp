#include "keypad.h"

#include "mnemonics.h"

#include <array>

namespace kav {

namespace {

// Tab places of the buttons in code order; the captions of the control codes are their names.
constexpr std::array<KeypadKey, 44> keys = {{
    {1, "NUL", 0, 51, 0, 0},    {2, "SOH", 1, 52, 0, 1},   {3, "STX", 2, 20, 0, 2},
    {4, "ETX", 3, 7, 0, 3},     {5, "EOT", 4, 8, 0, 4},    {6, "ENQ", 5, 9, 0, 5},
    {7, "ACK", 6, 10, 0, 6},    {8, "BEL", 7, 11, 0, 7},   {9, "BS", 8, 12, 0, 8},
    {10, "HT", 9, 13, 0, 9},    {11, "LF", 10, 14, 0, 10}, {12, "VT", 11, 15, 0, 11},
    {13, "FF", 12, 16, 0, 12},  {14, "CR", 13, 17, 0, 13}, {15, "SO", 14, 18, 0, 14},
    {16, "SI", 15, 19, 0, 15},  {17, "DLE", 16, 24, 1, 0}, {18, "DC1", 17, 25, 1, 1},
    {19, "DC2", 18, 26, 1, 2},  {20, "DC3", 19, 27, 1, 3}, {21, "DC4", 20, 28, 1, 4},
    {22, "NAK", 21, 29, 1, 5},  {23, "SYN", 22, 30, 1, 6}, {24, "ETB", 23, 31, 1, 7},
    {25, "CAN", 24, 54, 1, 8},  {26, "EM", 25, 32, 1, 9},  {27, "SUB", 26, 33, 1, 10},
    {28, "ESC", 27, 34, 1, 11}, {33, "SP", 32, 35, 2, 0},  {34, "!", 33, 36, 2, 1},
    {35, "\"", 34, 37, 2, 2},   {36, "#", 35, 38, 2, 3},   {37, "$", 36, 39, 2, 4},
    {38, "%", 37, 40, 2, 5},    {39, "＆", 38, 41, 2, 6},  {40, "'", 39, 42, 2, 7},
    {41, "(", 40, 43, 2, 8},    {42, ")", 41, 44, 2, 9},   {43, "*", 42, 45, 2, 10},
    {44, "+", 43, 46, 2, 11},   {45, "，", 44, 47, 2, 12}, {46, "-", 45, 48, 2, 13},
    {47, "．", 46, 49, 2, 14},  {48, "/", 47, 50, 2, 15},
}};

} // namespace

QString KeypadKey::token() const {
    return sendToken(code);
}

std::span<const KeypadKey> keypadKeys() {
    return keys;
}

bool isKeyboardCharacter(QChar ch) {
    return ch.unicode() >= 48 && ch.unicode() <= 125;
}

QString typedCharacters(Qt::KeyboardModifiers modifiers, const QString& text) {
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    if (modifiers.testFlag(Qt::MetaModifier) || ctrl != alt) {
        // Only the control characters that such a stroke may carry pass; none is accepted.
        QString controls;
        for (QChar ch : text)
            if (ch.unicode() < 32)
                controls += ch;
        return controls;
    }
    // On the OADG 109A layout the key printed with the yen sign gives U+00A5, where the plain
    // Japanese layout gives the backslash; in the Japanese code page both are the one code 0x5C.
    QString typed = text;
    typed.replace(QChar(0x00A5), QLatin1Char('\\'));
    return typed;
}

} // namespace kav
