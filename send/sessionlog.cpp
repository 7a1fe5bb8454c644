#include "sessionlog.h"

#include <QDateTime>
#include <QJsonDocument>
#include <cmath>

namespace kav {

bool SessionLog::open(const QString& path) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error_ = path + QStringLiteral(": ") + file_.errorString();
        return false;
    }
    clock_.start();
    return true;
}

void SessionLog::started(const SendOptions& options) {
    line({{QStringLiteral("event"), QStringLiteral("start")},
          {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
          {QStringLiteral("port"), options.port},
          {QStringLiteral("settings"), options.settings},
          {QStringLiteral("message"),
           QString::fromLatin1(bytesOf(options.message).toHex().toUpper())},
          {QStringLiteral("repeat"), options.repeat}});
}

void SessionLog::wrote(const QByteArray& bytes) {
    line({{QStringLiteral("event"), QStringLiteral("write")},
          {QStringLiteral("hex"), QString::fromLatin1(bytes.toHex().toUpper())}});
}

void SessionLog::read(const QByteArray& bytes) {
    line({{QStringLiteral("event"), QStringLiteral("read")},
          {QStringLiteral("hex"), QString::fromLatin1(bytes.toHex().toUpper())}});
}

void SessionLog::exchanged(const ExchangeReport& report) {
    QJsonObject object{
        {QStringLiteral("event"), QStringLiteral("exchange")},
        {QStringLiteral("exchange"), report.number},
        {QStringLiteral("outcome"), QLatin1String(outcomeName(report.result.outcome))}};
    if (report.answered())
        object.insert(QStringLiteral("ms"), std::round(report.ms() * 10) / 10);
    if (report.matched)
        object.insert(QStringLiteral("matched"), *report.matched);
    if (report.lines)
        object.insert(QStringLiteral("lines"), linesJson(*report.lines));
    if (report.result.leftOver > 0)
        object.insert(QStringLiteral("dropped_before"), double(report.result.leftOver));
    line(object);
}

void SessionLog::lineSet(const char* name, bool on) {
    line({{QStringLiteral("event"), QLatin1String(name)}, {QStringLiteral("on"), on}});
}

void SessionLog::breakSent(int ms) {
    line({{QStringLiteral("event"), QStringLiteral("break")}, {QStringLiteral("ms"), ms}});
}

void SessionLog::ended(const char* how) {
    line({{QStringLiteral("event"), QStringLiteral("end")},
          {QStringLiteral("how"), QLatin1String(how)}});
}

void SessionLog::line(QJsonObject object) {
    if (!file_.isOpen() || failed())
        return;
    object.insert(QStringLiteral("t_us"), double(clock_.nsecsElapsed() / 1000));
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    if (file_.write(text) != text.size())
        error_ = file_.fileName() + QStringLiteral(": ") + file_.errorString();
}

} // namespace kav
