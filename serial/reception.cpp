#include "reception.h"

#include "mnemonics.h"

namespace kav {

void Reception::clear() {
    RecvChunk.clear();
    RecvText.clear();
    RecvData.clear();
    RecvHex.clear();
}

void Reception::append(Code code) {
    RecvText += receiveToken(code);
    RecvData.append(code);
    appendHex(RecvHex, code);
}

void Reception::take(const CodeString& chunk) {
    // Each read's codes are appended as they came. A lead byte delivered alone in one read is
    // never merged with a byte of a later read: the views show the bytes as they arrived.
    RecvChunk = chunk;
    for (Code code : chunk)
        append(code);
}

QString receiveView(const QString& recvText) {
    QString shown = recvText;
    for (QChar& ch : shown) {
        // Below 0x80 a character of RecvText is its own code.
        const QChar picture = ch.unicode() < 0x80 ? controlPicture(Code(ch.unicode())) : QChar();
        if (!picture.isNull())
            ch = picture;
    }
    return shown;
}

} // namespace kav
