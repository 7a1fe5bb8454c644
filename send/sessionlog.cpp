#include "sessionlog.h"

#include <QDateTime>
#include <cmath>

namespace kav {

void SessionLog::started(const SendOptions& options) {
    line({{QStringLiteral("event"), QStringLiteral("start")},
          {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
          {QStringLiteral("port"), options.port},
          {QStringLiteral("settings"), options.settings},
          {QStringLiteral("message"),
           QString::fromLatin1(bytesOf(options.message()).toHex().toUpper())},
          {QStringLiteral("repeat"), options.repeat}});
}

void SessionLog::exchanged(const ExchangeReport& report) {
    if (!isOpen()) // every exchange of a long run, for nothing
        return;
    QJsonObject object{
        {QStringLiteral("event"), QStringLiteral("exchange")},
        {QStringLiteral("exchange"), report.number},
        {QStringLiteral("outcome"), QLatin1String(outcomeName(report.result.outcome))}};
    if (report.answered()) {
        object.insert(QStringLiteral("ms"), std::round(report.ms() * 10) / 10);
        if (const std::optional<double> turnaround = report.turnaroundMs())
            object.insert(QStringLiteral("turnaround_ms"), std::round(*turnaround * 10) / 10);
        object.insert(QStringLiteral("impossible"), report.result.timing.impossible);
    }
    object.insert(QStringLiteral("timing"), timingJson(report.result.timing));
    object.insert(QStringLiteral("errors"), lineErrorsJson(report.result.errors));
    if (report.matched)
        object.insert(QStringLiteral("matched"), *report.matched);
    if (report.lines)
        object.insert(QStringLiteral("lines"), linesJson(*report.lines));
    if (report.result.leftOver > 0)
        object.insert(QStringLiteral("dropped_before"), double(report.result.leftOver));
    line(object);
}

} // namespace kav
