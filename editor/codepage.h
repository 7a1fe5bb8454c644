#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace kav {

// A character's code in the CP932 code page: 0-255 for a single byte, or lead << 8 | trail for a
// double-byte character. Raw data (what goes on and comes off the wire) is always kept as codes,
// never as decoded text, so the hexadecimal views can never disagree with the line.
using Code = quint16;
using CodeString = QList<Code>;

bool isLeadByte(quint8 byte);
bool isTrailByte(quint8 byte);
inline bool isDoubleByte(Code code) {
    return code > 0xFF;
}

// Upper-case hexadecimal, two digits for a single byte, four for a double-byte code.
QString hexOf(Code code);
QString hexOf(const CodeString& codes);
void appendHex(QString& out, Code code);

// The text a view shows for one code. Codes that have no character (lone 0x80, 0xA0, 0xFD-0xFF,
// unmapped double-byte pairs) give a visible stand-in; the raw data keeps the code untouched.
QString textOf(Code code);
// The character a lead and trail byte pair stands for, or StandIn: the platform's own code page
// 932 decoder (ICU's windows-31j, or Windows' MultiByteToWideChar), held to one table by the tests.
QString decodePair(Code code);
inline constexpr QChar StandIn{0xFFFD};

// The code one character has in the code page, as Windows' own code page 932 encoder writes it,
// or none. Where the code page gives a character two or three codes, the NEC row 13 and JIS rows
// come before the IBM extensions (FA40-FC4B), and those before the NEC-selected IBM extensions
// (ED40-EEFC). The JIS X 0208 forms that input methods outside Windows type (U+301C, U+2212,
// U+00A2, U+00A3, U+00AC, U+2016, U+2014) have their Shift_JIS codes. The yen sign has none here:
// whoever reads typed text decides whether it is the backslash.
std::optional<Code> codeOf(char32_t character);

// The bytes a string of codes puts on the wire, in order.
QByteArray bytesOf(const CodeString& codes);

} // namespace kav
