#pragma once

#include "codepage.h"

#include <QString>

namespace kav {

// A message, or an expected reply, written on a command line in the send box's own notation:
// the keypad's mnemonics for their codes and every other character as itself.

struct WrittenText {
    CodeString codes;      // what was written, as the codes it stands for
    qsizetype errorAt = 0; // where the text was refused, counted from 1; 0 when it was not
    QString error;         // why, for the person who wrote it

    bool ok() const { return error.isEmpty(); }
};

enum class Reach {
    Composable, // what the window composes: codes 0-27 and 32-125
    Received,   // anything a reply can hold
};

// The codes the window can put together from its keypad and keyboard.
bool isComposable(Code code);

// "[STX]A B" style text. A "[" followed by two or three letters and "]" is always a mnemonic, so
// an unknown one is refused rather than sent as five plain characters. A blank is the space
// code; the yen sign is the backslash, as the Japanese keyboard types it. Raw control characters
// are refused: the send box only ever shows them as mnemonics. With Reach::Received, the control
// pictures the receive view shows (U+2400 NUL ... U+241F, U+2421 DEL) stand for their codes and
// any other character is its code in the code page (codeOf); one that has none is refused.
WrittenText parseWritten(const QString& text, Reach reach);

// Hexadecimal as the code box shows it: two digits a byte, either case, blanks between bytes.
WrittenText parseHex(const QString& text, Reach reach);

// Whether a reply is exactly what was expected, byte for byte: however either is split into
// codes, a double-byte code and its two bytes written alone put the same bytes on the line.
bool replyMatches(const CodeString& expected, const CodeString& reply);

} // namespace kav
