#include "ticks.h"

#include <cstdlib>

namespace kav {

qint16 nextTick(qint16 ticks) {
    if (ticks > 600)
        ticks = 0;
    return qint16(ticks + 1);
}

QString tickText(qint16 ticks) {
    const int magnitude = std::abs(int(ticks));
    QString text = ticks < 0 ? QStringLiteral("-") : QString();
    text += QString::number(magnitude / 10);
    if (const int tenths = magnitude % 10; tenths != 0)
        text += QLatin1Char('.') + QString::number(tenths);
    return text;
}

qint16 ticksAfter(qint64 ms) {
    qint16 ticks = 0;
    for (qint64 n = ms / 100; n > 0; --n)
        ticks = nextTick(ticks);
    return ticks;
}

} // namespace kav
