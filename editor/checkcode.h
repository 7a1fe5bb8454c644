#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

namespace kav {

// The check codes of the protocols a bench speaks: each computed over the part of a frame its
// protocol covers and placed where that protocol puts it.
enum class CheckKind {
    Bcc,         // XOR of the bytes, one raw byte
    Sum,         // 8-bit sum, one raw byte
    XorAscii,    // the XOR as two upper-case hexadecimal digits
    SumAscii,    // the sum as two upper-case hexadecimal digits
    ModbusAscii, // LRC of the bytes the digits after ':' stand for, as two digits before the CR
    Crc16Modbus, // CRC-16/MODBUS at the end, low byte first
    Crc16Ccitt,  // CRC-16/CCITT-FALSE at the end, high byte first
    Crc16Xmodem, // CRC-16/XMODEM at the end, high byte first
};

// The names a command line uses for them ("bcc", "crc16-modbus"), in the order above.
QStringList checkKindNames();
std::optional<CheckKind> checkKindNamed(QStringView name);

quint16 crc16Modbus(QByteArrayView bytes);
quint16 crc16Ccitt(QByteArrayView bytes);
quint16 crc16Xmodem(QByteArrayView bytes);

// A lone [ACK] or [NAK] is how these protocols answer a frame, and it carries no check code:
// none is put into one, and none is looked for in one.
bool carriesNoCheck(QByteArrayView bytes);

// The message with its check code in place (a lone [ACK] or [NAK] as it is), or why it cannot
// have one (a Modbus ASCII frame whose
// part after ':' is no even run of hexadecimal digits).
struct CheckedFrame {
    QByteArray bytes;
    QString error;
    qsizetype at = -1; // where the code was put in; -1 for none
};
CheckedFrame withCheck(CheckKind kind, QByteArrayView message);

// A reply's check code against the one its bytes call for. Either may be empty: a frame whose
// code is missing (then the one it should carry is still expected), a reply too short to hold
// one, or a Modbus ASCII reply whose digits stand for no bytes.
struct CheckVerdict {
    QByteArray received;
    QByteArray expected;
    qsizetype at = -1; // where the received code stands in the reply, when it has one
    bool none = false; // a lone [ACK] or [NAK], which carries no code and needs none

    bool ok() const { return none || (!expected.isEmpty() && received == expected); }
};
CheckVerdict verifyCheck(CheckKind kind, QByteArrayView reply);

// A check code as a person reads it: hexadecimal bytes ("43", "4B37") for the raw kinds, the
// digits themselves for the ASCII ones.
QString checkCodeText(CheckKind kind, const QByteArray& code);

} // namespace kav
