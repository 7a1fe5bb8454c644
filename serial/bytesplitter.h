#pragma once

#include "codepage.h"

#include <QByteArrayView>

namespace kav {

// Splits received bytes into character codes. A lead byte followed by a valid trail byte makes
// one double-byte code; any other byte is a code of its own, so no byte is ever lost, merged or
// altered. A lead byte that ends a read may still get its trail in the next read, so it is held
// back until then, or until the owner gives up waiting and flushes it.
class ByteSplitter {
public:
    // Appends the codes that the bytes complete to `out`.
    void feed(QByteArrayView bytes, CodeString& out);
    // Delivers a held lead byte on its own.
    void flush(CodeString& out);
    bool holding() const { return held_ >= 0; }
    void clear() { held_ = -1; }

private:
    int held_ = -1; // the lead byte waiting for its trail, or -1
};

} // namespace kav
