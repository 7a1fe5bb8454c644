#include "wire.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace kav {

LineErrors LineErrors::since(const LineErrors& before) const {
    return {frame - before.frame, parity - before.parity, overrun - before.overrun,
            brk - before.brk};
}

LineErrors& LineErrors::operator+=(const LineErrors& more) {
    frame += more.frame;
    parity += more.parity;
    overrun += more.overrun;
    brk += more.brk;
    return *this;
}

QString lineErrorsText(const LineErrors& errors) {
    QStringList counts;
    const std::pair<const char*, quint32> named[] = {{"frame", errors.frame},
                                                     {"parity", errors.parity},
                                                     {"overrun", errors.overrun},
                                                     {"break", errors.brk}};
    for (const auto& [name, count] : named)
        if (count)
            counts << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(count);
    return counts.join(QStringLiteral(", "));
}

double bitsPerCharacter(const LineSettings& line) {
    const double stop = line.stopBits == QSerialPort::TwoStop          ? 2
                        : line.stopBits == QSerialPort::OneAndHalfStop ? 1.5
                                                                       : 1;
    return 1 + double(line.dataBits) + (line.parity == QSerialPort::NoParity ? 0 : 1) + stop;
}

qint64 wireNs(qsizetype characters, const LineSettings& line) {
    return qint64(std::llround(double(characters) * bitsPerCharacter(line) * 1e9 /
                               double(std::max(line.baudRate, 1))));
}

bool impossibleReply(qint64 firstNs, qsizetype characters, const LineSettings& line) {
    return firstNs >= 0 && firstNs < wireNs(characters, line);
}

} // namespace kav
