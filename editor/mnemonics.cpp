#include "mnemonics.h"

#include <array>

namespace kav {

namespace {

constexpr std::array<const char*, 28> controlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",
    "LF",  "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3",
    "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC"};

const char* nameOf(Code code) {
    if (code < controlNames.size())
        return controlNames[code];
    if (code == 32)
        return "SP";
    return nullptr;
}

} // namespace

QString mnemonicOf(Code code) {
    // Made once: every character shown or typed asks for its token.
    static const std::array<QString, 33> mnemonics = [] {
        std::array<QString, 33> made;
        for (Code c = 0; c < made.size(); ++c)
            if (const char* name = nameOf(c))
                made[c] = QLatin1Char('[') + QLatin1String(name) + QLatin1Char(']');
        return made;
    }();
    return code < mnemonics.size() ? mnemonics[code] : QString();
}

QString sendToken(Code code) {
    const QString mnemonic = mnemonicOf(code);
    return mnemonic.isEmpty() ? textOf(code) : mnemonic;
}

QString receiveToken(Code code) {
    return code == 0 ? textOf(code) : sendToken(code);
}

int tokenWidth(Code code) {
    const char* name = nameOf(code);
    return name ? int(qstrlen(name)) + 2 : 1;
}

int codeOfMnemonic(QStringView name) {
    for (Code code = 0; code <= 32; ++code) {
        const char* known = nameOf(code);
        if (known && name == QLatin1String(known))
            return code;
    }
    return -1;
}

QChar controlPicture(Code code) {
    if (code < 0x20)
        return QChar(char16_t(0x2400 + code));
    if (code == 0x7F)
        return QChar(char16_t(0x2421));
    return QChar();
}

int codeOfControlPicture(QChar picture) {
    const char16_t c = picture.unicode();
    if (c >= 0x2400 && c < 0x2420)
        return c - 0x2400;
    if (c == 0x2421)
        return 0x7F;
    return -1;
}

} // namespace kav
