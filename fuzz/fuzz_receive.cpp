// Any byte stream, cut into reads at any points, with the lead-byte hold running out at any
// point: every byte comes through in order, unchanged, and the views agree with the codes.
//
// Input: a sequence of reads. Each read is one header byte h followed by (h & 0x3F) bytes of
// line data. h & 0x40: the hold time runs out after this read (a held lead byte goes alone).
// h & 0x80: a receive event takes what waits (unless the reception is full, when the window's
// event reads nothing); h & 0x40 also raises one, as the control does when it lets a held byte
// go. Whatever still waits at the end is taken last, past the limit, so every byte is checked.

#include "bytesplitter.h"
#include "check.h"
#include "codepage.h"
#include "mnemonics.h"
#include "reception.h"

using namespace kav;

namespace {

QByteArray bytesOfHex(const QString& hex) {
    FUZZ_CHECK(hex.size() % 2 == 0);
    return QByteArray::fromHex(hex.toLatin1());
}

bool validCode(Code code) {
    if (!isDoubleByte(code))
        return true;
    return isLeadByte(quint8(code >> 8)) && isTrailByte(quint8(code & 0xFF));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kavfuzz::Reader in(data, size);
    ByteSplitter splitter;
    CodeString waiting; // codes the control holds until a receive event takes them
    Reception recv;
    QByteArray line; // every byte that arrived, in order
    bool heldAlone = false;
    // The window's receive event: nothing is read once the reception is full.
    auto receiveEvent = [&] {
        if (recv.isFull() || waiting.isEmpty())
            return;
        recv.take(waiting);
        FUZZ_CHECK(recv.RecvChunk == waiting);
        waiting.clear();
    };

    while (!in.done()) {
        const std::uint8_t header = in.byte();
        const QByteArrayView read = in.take(header & 0x3F);
        line += read;
        splitter.feed(read, waiting);
        if (header & 0x40) {
            heldAlone = heldAlone || splitter.holding();
            splitter.flush(waiting);
            FUZZ_CHECK(!splitter.holding());
            receiveEvent();
        }
        if (header & 0x80)
            receiveEvent();
    }
    heldAlone = heldAlone || splitter.holding();
    splitter.flush(waiting);
    if (!waiting.isEmpty())
        recv.take(waiting);

    // Not a byte lost, added or altered, in either the codes or the hexadecimal view.
    FUZZ_CHECK(bytesOf(recv.RecvData) == line);
    FUZZ_CHECK(recv.RecvHex == hexOf(recv.RecvData));
    FUZZ_CHECK(bytesOfHex(recv.RecvHex) == line);
    // Every code is a byte or a proper pair, and the count is the number of codes.
    qsizetype pairs = 0;
    QString text;
    for (Code code : recv.RecvData) {
        FUZZ_CHECK(validCode(code));
        pairs += isDoubleByte(code) ? 1 : 0;
        text += receiveToken(code);
    }
    FUZZ_CHECK(recv.RecvData.size() + pairs == line.size());
    FUZZ_CHECK(recv.countText() == QString::number(recv.RecvData.size()));
    FUZZ_CHECK(recv.RecvText == text);
    // Without a hold running out, where the reads were cut makes no difference at all.
    if (!heldAlone) {
        ByteSplitter whole;
        CodeString once;
        whole.feed(line, once);
        whole.flush(once);
        FUZZ_CHECK(recv.RecvData == once);
    }
    return 0;
}
