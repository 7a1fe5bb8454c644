#include "bytesplitter.h"

namespace kav {

void ByteSplitter::feed(QByteArrayView bytes, CodeString& out) {
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    if (held_ >= 0) {
        if (n == 0)
            return;
        const auto next = quint8(bytes[0]);
        if (isTrailByte(next)) {
            out.append(Code(held_ << 8 | next));
            i = 1;
        } else {
            out.append(Code(held_));
        }
        held_ = -1;
    }
    for (; i < n; ++i) {
        const auto byte = quint8(bytes[i]);
        if (isLeadByte(byte)) {
            if (i + 1 == n) {
                held_ = byte;
                return;
            }
            const auto next = quint8(bytes[i + 1]);
            if (isTrailByte(next)) {
                out.append(Code(byte << 8 | next));
                ++i;
                continue;
            }
        }
        out.append(Code(byte));
    }
}

void ByteSplitter::flush(CodeString& out) {
    if (held_ >= 0)
        out.append(Code(held_));
    held_ = -1;
}

} // namespace kav
