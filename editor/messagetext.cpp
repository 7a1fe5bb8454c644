#include "messagetext.h"

#include "keypad.h"
#include "mnemonics.h"

namespace kav {

namespace {

WrittenText refuse(WrittenText&& written, qsizetype index, const QString& why) {
    written.codes.clear();
    written.errorAt = index + 1;
    written.error = QStringLiteral("character %1 ").arg(index + 1) + why;
    return std::move(written);
}

QString quoted(QStringView text) {
    return QLatin1Char('"') + text.toString() + QLatin1Char('"');
}

// The length of a mnemonic-shaped token at `at` ("[" two or three letters "]"), or 0.
qsizetype mnemonicLength(const QString& text, qsizetype at) {
    if (text[at] != u'[')
        return 0;
    for (qsizetype letters = 2; letters <= 3; ++letters) {
        const qsizetype close = at + 1 + letters;
        if (close >= text.size() || text[close] != u']')
            continue;
        bool allLetters = true;
        for (qsizetype i = at + 1; i < close; ++i)
            allLetters = allLetters && text[i].isLetter() && text[i].unicode() < 0x80;
        if (allLetters)
            return letters + 2;
    }
    return 0;
}

int hexDigit(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

const QString composableRange =
    QStringLiteral("; the window composes only [NUL] to [ESC], [SP] and \"!\" to \"}\"");

} // namespace

bool isComposable(Code code) {
    return code <= 27 || (code >= 32 && code <= 125);
}

WrittenText parseWritten(const QString& text, Reach reach) {
    WrittenText written;
    for (qsizetype at = 0; at < text.size();) {
        if (const qsizetype length = mnemonicLength(text, at)) {
            const QStringView token = QStringView(text).sliced(at, length);
            const int code = codeOfMnemonic(token.sliced(1, length - 2));
            if (code < 0)
                return refuse(std::move(written), at,
                              quoted(token) + QStringLiteral(" is no mnemonic") +
                                  (reach == Reach::Composable ? composableRange : QString()));
            written.codes.append(Code(code));
            at += length;
            continue;
        }
        // The Japanese keyboard's yen key is the backslash, as in the send box.
        const QString typed = typedCharacters(Qt::NoModifier, QString(text[at]));
        const char16_t c = typed[0].unicode();
        const bool pair =
            text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
        const QStringView character = QStringView(text).sliced(at, pair ? 2 : 1);
        const char32_t ucs = pair ? QChar::surrogateToUcs4(text[at], text[at + 1]) : c;
        if (c < 32 || c == 0x7F)
            return refuse(std::move(written), at,
                          QStringLiteral("is a raw control character (code %1); write it as its "
                                         "mnemonic, such as [CR]")
                              .arg(int(c)));
        if (reach == Reach::Composable) {
            if (!isComposable(c))
                return refuse(std::move(written), at,
                              QStringLiteral("(%1) cannot be sent").arg(quoted(character)) +
                                  composableRange);
            written.codes.append(Code(c));
        } else if (const int picture = codeOfControlPicture(typed[0]); picture >= 0) {
            written.codes.append(Code(picture));
        } else if (const std::optional<Code> code = codeOf(ucs)) {
            written.codes.append(*code);
        } else {
            return refuse(std::move(written), at,
                          QStringLiteral("(%1) has no code in the Japanese code page; use "
                                         "--expect-hex")
                              .arg(quoted(character)));
        }
        at += character.size();
    }
    return written;
}

WrittenText parseHex(const QString& text, Reach reach) {
    WrittenText written;
    int high = -1;
    qsizetype highAt = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar ch = text[at];
        if (ch == u' ' && high < 0)
            continue;
        const int value = hexDigit(ch);
        if (value < 0)
            return refuse(std::move(written), at,
                          QStringLiteral("(%1) is no hexadecimal digit").arg(quoted(QString(ch))));
        if (high < 0) {
            high = value;
            highAt = at;
            continue;
        }
        const Code code = Code(high << 4 | value);
        if (reach == Reach::Composable && !isComposable(code))
            return refuse(std::move(written), highAt,
                          QStringLiteral("(code %1) cannot be sent").arg(hexOf(code)) +
                              composableRange);
        written.codes.append(code);
        high = -1;
    }
    if (high >= 0)
        return refuse(std::move(written), highAt,
                      QStringLiteral("is half a byte: two digits make one"));
    return written;
}

bool replyMatches(const CodeString& expected, const CodeString& reply) {
    return bytesOf(expected) == bytesOf(reply);
}

} // namespace kav
