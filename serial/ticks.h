#pragma once

#include <QString>
#include <QtGlobal>

namespace kav {

// The reception timer's count, one per 100 ms tick. A count above 600 starts again before the
// tick is added, so the time shown runs 0.1 ... 60, 60.1 and then 0.1 again.
qint16 nextTick(qint16 ticks);

// Ticks as seconds: the whole seconds, then "." and the tenths digit only when it is not 0.
// 1 -> "0.1", 10 -> "1", 15 -> "1.5", 601 -> "60.1".
QString tickText(qint16 ticks);

// The ticks the window has counted when a reply comes `ms` after the send, wrapping as it does.
qint16 ticksAfter(qint64 ms);

} // namespace kav
