#pragma once

#include "portsettings.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace kav {

// A request as it came off the line, and when its last byte arrived (nanoseconds on the
// program's monotonic clock).
struct Request {
    QByteArray bytes;
    qint64 lastByteNs = 0;
};

// Cuts what arrives into requests: after a terminator when one is given, otherwise where the line
// has been idle for the gap.
class Framer {
public:
    // Beyond this a request with no end yet is cut, so that a far end that never stops cannot
    // grow the program without bound.
    static constexpr qsizetype MaxRequest = 64 * 1024;

    Framer(qint64 gapNs, QByteArray terminator) : gapNs_(gapNs), terminator_(terminator) {}

    // The requests that `bytes`, arriving at `atNs`, completed.
    QList<Request> feed(QByteArrayView bytes, qint64 atNs);
    // When the request under way ends for want of more, or nothing (none under way, or a
    // terminator frames the requests).
    std::optional<qint64> deadline() const;
    // The request under way, when the line has been idle for the gap by `nowNs`.
    std::optional<Request> expire(qint64 nowNs);

private:
    qint64 gapNs_;
    QByteArray terminator_;
    Request pending_;
};

// 3.5 character times at the line's rate, as Modbus RTU frames are parted; above 19200 baud a
// fixed 1.75 ms, as Modbus RTU has it, since the driver's own latency outweighs the characters.
qint64 defaultGapNs(const LineSettings& line);
// The time one character takes on the line: start bit, data, parity and stop bits.
qint64 characterNs(const LineSettings& line);

} // namespace kav
