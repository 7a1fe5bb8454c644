#include "codepage.h"

#include <QHash>
#include <utility>

namespace kav {

namespace {

bool isNecSelectedIbm(Code code) {
    return code >= 0xED40 && code <= 0xEEFC;
}

// The double-byte half of the encoder, read back from the decoder so that both directions rest on
// the one mapping the reference table holds every build to.
QHash<char16_t, Code> makeDoubleByteCodes() {
    QHash<char16_t, Code> codes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(quint8(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (!isTrailByte(quint8(trail)))
                continue;
            const Code code = Code(lead << 8 | trail);
            const QString text = decodePair(code);
            if (text.size() != 1 || text[0] == StandIn)
                continue;
            // Codes come in rising order, so the first one kept is the lowest; an NEC-selected
            // one gives way to any later code, as Windows writes those characters elsewhere.
            const auto kept = codes.find(text[0].unicode());
            if (kept == codes.end())
                codes.insert(text[0].unicode(), code);
            else if (isNecSelectedIbm(*kept) && !isNecSelectedIbm(code))
                *kept = code;
        }
    }
    // The forms other systems map these JIS X 0208 codes to, and their input methods type; code
    // page 932 decodes the codes to full-width or other forms, and has no code for these.
    static constexpr std::pair<char16_t, Code> jisForms[] = {
        {0x301C, 0x8160}, {0x2212, 0x817C}, {0x00A2, 0x8191}, {0x00A3, 0x8192},
        {0x00AC, 0x81CA}, {0x2016, 0x8161}, {0x2014, 0x815C}};
    for (const auto& [character, code] : jisForms)
        codes.insert(character, code);
    return codes;
}

} // namespace

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

std::optional<Code> codeOf(char32_t character) {
    if (character < 0x80)
        return Code(character);
    if (character >= 0xFF61 && character <= 0xFF9F)
        return Code(0xA1 + (character - 0xFF61)); // half-width katakana block
    if (character > 0xFFFF)
        return std::nullopt; // the code page has nothing beyond the Basic Multilingual Plane
    static const QHash<char16_t, Code> doubleByteCodes = makeDoubleByteCodes();
    const auto found = doubleByteCodes.constFind(char16_t(character));
    if (found == doubleByteCodes.cend())
        return std::nullopt;
    return *found;
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
