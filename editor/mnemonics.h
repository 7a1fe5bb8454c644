#pragma once

#include "codepage.h"

#include <QString>

namespace kav {

// The one table of control-character mnemonics. Codes 0-27 and 32 have one; 28-31 do not.
QString mnemonicOf(Code code); // "[STX]", or empty where the code has none

// Display form of a character entered on the send side: its mnemonic, or the character itself.
QString sendToken(Code code);
// Display form of a received character: the mnemonic for codes 1-27 and 32 only; NUL and
// everything else stand for themselves.
QString receiveToken(Code code);
// How many display characters the send-side token of this code takes.
int tokenWidth(Code code);
// The code a mnemonic's name stands for ("STX" gives 2), or -1 for a name the table lacks.
int codeOfMnemonic(QStringView name);

// The Unicode control picture that stands for a control code with no glyph where a view shows
// text (U+2400 NUL ... U+241F for 0-31, U+2421 for DEL), or a null QChar for any other code.
QChar controlPicture(Code code);
// The code a control picture stands for, or -1 for any other character.
int codeOfControlPicture(QChar picture);

} // namespace kav
