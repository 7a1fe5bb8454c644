#include "checkcode.h"

#include <array>

namespace kav {

namespace {

constexpr std::array<const char*, 8> kindNames = {"bcc",         "sum",          "xor-ascii",
                                                  "sum-ascii",   "modbus-ascii", "crc16-modbus",
                                                  "crc16-ccitt", "crc16-xmodem"};

constexpr char Stx = 0x02;
constexpr char Etx = 0x03;
constexpr char Cr = 0x0D;

bool isAscii(CheckKind kind) {
    return kind == CheckKind::XorAscii || kind == CheckKind::SumAscii ||
           kind == CheckKind::ModbusAscii;
}

bool isCrc(CheckKind kind) {
    return kind == CheckKind::Crc16Modbus || kind == CheckKind::Crc16Ccitt ||
           kind == CheckKind::Crc16Xmodem;
}

qsizetype codeLength(CheckKind kind) {
    return kind == CheckKind::Bcc || kind == CheckKind::Sum ? 1 : 2;
}

QByteArray twoDigits(quint8 value) {
    return QByteArray::number(value, 16).rightJustified(2, '0').toUpper();
}

QByteArray twoBytes(quint8 first, quint8 second) {
    QByteArray bytes;
    bytes.append(char(first)).append(char(second));
    return bytes;
}

quint16 crc16(QByteArrayView bytes, quint16 crc, quint16 polynomial, bool reflected) {
    for (char byte : bytes) {
        if (reflected) {
            crc ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 1 ? (crc >> 1) ^ polynomial : crc >> 1;
        } else {
            crc ^= quint16(quint8(byte) << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 0x8000 ? quint16(crc << 1) ^ polynomial : quint16(crc << 1);
        }
    }
    return crc;
}

// What the part of a frame that a check covers calls for; nothing where it stands for no code.
std::optional<QByteArray> codeFor(CheckKind kind, QByteArrayView covered) {
    quint8 xorValue = 0;
    quint8 sum = 0;
    for (char byte : covered) {
        xorValue ^= quint8(byte);
        sum = quint8(sum + quint8(byte));
    }
    switch (kind) {
    case CheckKind::Bcc:
        return QByteArray(1, char(xorValue));
    case CheckKind::Sum:
        return QByteArray(1, char(sum));
    case CheckKind::XorAscii:
        return twoDigits(xorValue);
    case CheckKind::SumAscii:
        return twoDigits(sum);
    case CheckKind::ModbusAscii: {
        const QByteArray digits = covered.toByteArray();
        const QByteArray bytes = QByteArray::fromHex(digits);
        if (digits.size() % 2 != 0 || bytes.toHex().toUpper() != digits.toUpper())
            return std::nullopt;
        quint8 lrc = 0;
        for (char byte : bytes)
            lrc = quint8(lrc + quint8(byte));
        return twoDigits(quint8(-lrc));
    }
    case CheckKind::Crc16Modbus: {
        const quint16 crc = crc16Modbus(covered);
        return twoBytes(crc & 0xFF, crc >> 8);
    }
    case CheckKind::Crc16Ccitt:
        return twoBytes(crc16Ccitt(covered) >> 8, crc16Ccitt(covered) & 0xFF);
    case CheckKind::Crc16Xmodem:
        return twoBytes(crc16Xmodem(covered) >> 8, crc16Xmodem(covered) & 0xFF);
    }
    return std::nullopt;
}

// Where a check goes in a frame that does not hold it yet: the part it covers runs from `from`
// up to `to`, and the code is put in at `at`.
struct Place {
    qsizetype from;
    qsizetype to;
    qsizetype at;
    bool closed; // an ETX ends the covered part, and the code follows it
};

Place placeIn(CheckKind kind, QByteArrayView frame) {
    const qsizetype end = frame.size();
    if (isCrc(kind))
        return {0, end, end, false};
    if (kind == CheckKind::ModbusAscii) {
        const qsizetype colon = frame.indexOf(':');
        const qsizetype from = colon < 0 ? 0 : colon + 1;
        const qsizetype cr = frame.sliced(from).indexOf(Cr);
        const qsizetype to = cr < 0 ? end : from + cr;
        return {from, to, to, false};
    }
    const qsizetype stx = frame.indexOf(Stx);
    const qsizetype from = stx < 0 ? 0 : stx + 1;
    const qsizetype etx = frame.sliced(from).indexOf(Etx);
    const qsizetype to = etx < 0 ? end : from + etx + 1;
    return {from, to, to, etx >= 0};
}

} // namespace

QStringList checkKindNames() {
    QStringList names;
    for (const char* name : kindNames)
        names.append(QLatin1String(name));
    return names;
}

std::optional<CheckKind> checkKindNamed(QStringView name) {
    for (size_t i = 0; i < kindNames.size(); ++i)
        if (name == QLatin1String(kindNames[i]))
            return CheckKind(i);
    return std::nullopt;
}

quint16 crc16Modbus(QByteArrayView bytes) {
    return crc16(bytes, 0xFFFF, 0xA001, true);
}

quint16 crc16Ccitt(QByteArrayView bytes) {
    return crc16(bytes, 0xFFFF, 0x1021, false);
}

quint16 crc16Xmodem(QByteArrayView bytes) {
    return crc16(bytes, 0x0000, 0x1021, false);
}

bool carriesNoCheck(QByteArrayView bytes) {
    return bytes.size() == 1 && (bytes[0] == '\x06' || bytes[0] == '\x15');
}

CheckedFrame withCheck(CheckKind kind, QByteArrayView message) {
    if (carriesNoCheck(message))
        return {message.toByteArray(), QString(), -1};
    const Place place = placeIn(kind, message);
    const std::optional<QByteArray> code =
        codeFor(kind, message.sliced(place.from, place.to - place.from));
    if (!code)
        return {QByteArray(), QStringLiteral("the part after \":\" is no whole run of "
                                             "hexadecimal digits, so it has no LRC")};
    QByteArray bytes = message.toByteArray();
    bytes.insert(place.at, *code);
    return {bytes, QString(), place.at};
}

CheckVerdict verifyCheck(CheckKind kind, QByteArrayView reply) {
    // Where the message's code would be put in, the reply's code stands: right after the ETX, or
    // else just before the end (before the CR for Modbus ASCII), and the covered part stops there.
    if (carriesNoCheck(reply))
        return {QByteArray(), QByteArray(), -1, true};
    const qsizetype length = codeLength(kind);
    Place place = placeIn(kind, reply);
    if (!place.closed) {
        place.to -= length;
        place.at = place.to;
    }
    if (place.to < place.from)
        return {};
    QByteArray expected =
        codeFor(kind, reply.sliced(place.from, place.to - place.from)).value_or(QByteArray());
    // A frame that ends where its code should begin still says which code it should carry.
    if (place.at + length > reply.size())
        return {QByteArray(), expected};
    return {reply.sliced(place.at, length).toByteArray(), std::move(expected), place.at};
}

QString checkCodeText(CheckKind kind, const QByteArray& code) {
    if (isAscii(kind))
        return QString::fromLatin1(code);
    return QString::fromLatin1(code.toHex().toUpper());
}

} // namespace kav
