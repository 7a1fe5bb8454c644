#include "framer.h"

namespace kav {

QList<Request> Framer::feed(QByteArrayView bytes, qint64 atNs) {
    QList<Request> done;
    for (char byte : bytes) {
        pending_.bytes.append(byte);
        pending_.lastByteNs = atNs;
        if ((!terminator_.isEmpty() && pending_.bytes.endsWith(terminator_)) ||
            pending_.bytes.size() >= MaxRequest) {
            done.append(pending_);
            pending_ = Request();
        }
    }
    return done;
}

std::optional<qint64> Framer::deadline() const {
    if (pending_.bytes.isEmpty() || !terminator_.isEmpty())
        return std::nullopt;
    return pending_.lastByteNs + gapNs_;
}

std::optional<Request> Framer::expire(qint64 nowNs) {
    const std::optional<qint64> due = deadline();
    if (!due || nowNs < *due)
        return std::nullopt;
    Request request = pending_;
    pending_ = Request();
    return request;
}

qint64 characterNs(const LineSettings& line) {
    const double stop = line.stopBits == QSerialPort::OneStop   ? 1
                        : line.stopBits == QSerialPort::TwoStop ? 2
                                                                : 1.5;
    const double bits =
        1 + int(line.dataBits) + (line.parity == QSerialPort::NoParity ? 0 : 1) + stop;
    return qint64(bits * 1e9 / line.baudRate);
}

qint64 defaultGapNs(const LineSettings& line) {
    if (line.baudRate > 19200)
        return 1'750'000;
    return characterNs(line) * 7 / 2;
}

} // namespace kav
