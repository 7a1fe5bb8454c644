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
    RecvChunk = chunk;
    qsizetype first = 0;
    // A lead byte that ended the previous read, with its trail byte only now arriving, is one
    // double-byte character: the pair is joined so the count and the text view show one
    // character. The hexadecimal view is unchanged by the join, as its digits already follow
    // the bytes in arrival order.
    if (!chunk.isEmpty() && !RecvData.isEmpty()) {
        const Code last = RecvData.constLast();
        const Code next = chunk.constFirst();
        if (!isDoubleByte(last) && isLeadByte(quint8(last)) && !isDoubleByte(next) &&
            isTrailByte(quint8(next))) {
            const Code pair = Code(last << 8 | next);
            RecvText.chop(receiveToken(last).size());
            RecvText += receiveToken(pair);
            RecvData.last() = pair;
            appendHex(RecvHex, next);
            first = 1;
        }
    }
    for (qsizetype i = first; i < chunk.size(); ++i)
        append(chunk.at(i));
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
