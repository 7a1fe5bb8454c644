#include "codepage.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kav {

// Qt for Windows has no ICU, so no named code pages: Windows' own code page 932 decodes. It
// must agree with the ICU decoder used elsewhere; tests/editor/cp932-pairs.txt holds both to
// the same table.
QString decodePair(Code code) {
    const char bytes[2] = {char(code >> 8), char(code & 0xFF)};
    wchar_t text[4];
    const int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, text, 4);
    if (length <= 0)
        return QString(StandIn);
    const QString decoded = QString::fromWCharArray(text, length);
    return decoded.contains(QChar::ReplacementCharacter) ? QString(StandIn) : decoded;
}

} // namespace kav
