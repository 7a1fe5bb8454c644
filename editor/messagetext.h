#pragma once

#include "codepage.h"

#include <QList>
#include <QString>

namespace kav {

// A message, or an expected reply, written on a command line in the send box's own notation:
// the keypad's mnemonics for their codes and every other character as itself.

// One written character: a code, or (in an expected reply only) a character that any code
// decoding to it matches, since the Japanese code page gives some characters two codes.
struct WrittenChar {
    Code code = 0;
    QChar character; // null for a code

    bool operator==(const WrittenChar&) const = default;
};

struct WrittenText {
    QList<WrittenChar> chars;
    qsizetype errorAt = 0; // where the text was refused, counted from 1; 0 when it was not
    QString error;         // why, for the person who wrote it

    bool ok() const { return error.isEmpty(); }
    CodeString codes() const; // the codes, for a text that holds only codes
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
// any other character of the code page is accepted.
WrittenText parseWritten(const QString& text, Reach reach);

// Hexadecimal as the code box shows it: two digits a byte, either case, blanks between bytes.
WrittenText parseHex(const QString& text, Reach reach);

// Whether a reply is exactly what was expected, byte for byte; a written character matches one
// reply character that decodes to it.
bool replyMatches(const QList<WrittenChar>& expected, const CodeString& reply);

} // namespace kav
