#include "codepage.h"

namespace kav {

bool isLeadByte(quint8 byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool isTrailByte(quint8 byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

void appendHex(QString& out, Code code) {
    static constexpr char digits[] = "0123456789ABCDEF";
    if (isDoubleByte(code)) {
        out += QLatin1Char(digits[(code >> 12) & 0xF]);
        out += QLatin1Char(digits[(code >> 8) & 0xF]);
    }
    out += QLatin1Char(digits[(code >> 4) & 0xF]);
    out += QLatin1Char(digits[code & 0xF]);
}

QString hexOf(Code code) {
    QString out;
    appendHex(out, code);
    return out;
}

QString hexOf(const CodeString& codes) {
    QString out;
    out.reserve(codes.size() * 2);
    for (Code code : codes)
        appendHex(out, code);
    return out;
}

QString textOf(Code code) {
    if (isDoubleByte(code))
        return decodePair(code);
    if (code < 0x80)
        return QString(QChar(code));
    if (code >= 0xA1 && code <= 0xDF)
        return QString(QChar(0xFF61 + (code - 0xA1))); // half-width katakana block
    return QString(StandIn);
}

QByteArray bytesOf(const CodeString& codes) {
    QByteArray bytes;
    bytes.reserve(codes.size());
    for (Code code : codes) {
        if (isDoubleByte(code))
            bytes.append(char(code >> 8));
        bytes.append(char(code & 0xFF));
    }
    return bytes;
}

} // namespace kav
