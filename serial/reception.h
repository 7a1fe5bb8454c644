#pragma once

#include "codepage.h"

#include <QString>

namespace kav {

// What has been received since the last reset, in the three forms the receive views show.
struct Reception {
    CodeString RecvChunk;
    QString RecvText;
    CodeString RecvData;
    QString RecvHex;
    qint16 RecvCount = 0;
};

} // namespace kav
