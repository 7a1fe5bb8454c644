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
        const char16_t c = ch.unicode();
        if (c < 0x20)
            ch = QChar(char16_t(0x2400 + c));
        else if (c == 0x7F)
            ch = QChar(char16_t(0x2421));
    }
    return shown;
}

} // namespace kav
