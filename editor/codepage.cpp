#include "codepage.h"

#include <QStringDecoder>

#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

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

#if defined(Q_OS_WIN)
// Qt for Windows has no ICU, so no named code pages: Windows' own code page 932 decodes. It
// must agree with the ICU decoder used elsewhere; tests/editor/cp932-pairs.txt holds both to
// the same table.
static QString decodePair(Code code) {
    const char bytes[2] = {char(code >> 8), char(code & 0xFF)};
    wchar_t text[4];
    const int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, text, 4);
    if (length <= 0)
        return QString(StandIn);
    const QString decoded = QString::fromWCharArray(text, length);
    return decoded.contains(QChar::ReplacementCharacter) ? QString(StandIn) : decoded;
}
#else
static QString decodePair(Code code) {
    // A fresh decoder per pair: it is given exactly one valid pair, so no state can leak from one
    // character into the next.
    QStringDecoder decoder("windows-31j");
    if (!decoder.isValid())
        decoder = QStringDecoder("Shift_JIS");
    if (!decoder.isValid())
        return QString(StandIn);
    const char bytes[2] = {char(code >> 8), char(code & 0xFF)};
    QString text = decoder.decode(QByteArrayView(bytes, 2));
    if (decoder.hasError() || text.isEmpty() || text.contains(QChar::ReplacementCharacter))
        return QString(StandIn);
    return text;
}
#endif

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
