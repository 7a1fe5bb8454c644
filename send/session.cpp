#include "session.h"

#include "console.h"
#include "portdevice.h"

namespace kav {

Session::Session(MSComm& comm, const SendOptions& options, SessionLog& log)
    : options_(options), log_(log), exchanger_(comm),
      latencyTimerMs_(adapterLatencyMs(comm.device())) {
    connect(&exchanger_, &Exchanger::wrote, this, [this](const QByteArray& b) { log_.wrote(b); });
    connect(&exchanger_, &Exchanger::read, this, [this](const QByteArray& b) { log_.read(b); });
    if (options_.expected)
        expectedBytes_ = bytesOf(*options_.expected);
    // Ctrl+C ends a long run with the figures so far; signals cannot reach the loops themselves.
    catchInterrupt();
    connect(&interruptWatch_, &QTimer::timeout, this, &Session::watchInterrupt);
    interruptWatch_.start(50);
}

Session::End Session::run() {
    if (latencyTimerMs_ > 1)
        writeErr(QStringLiteral("kavetta-send: the adapter's latency timer is %1 ms, so each reply "
                                "time may include up to %1 ms of the adapter's own delay; "
                                "kavetta-send(1) shows how to lower it\n")
                     .arg(*latencyTimerMs_));
    if (!options_.json && !writeOut(sentText(options_.message) + latencyText(latencyTimerMs_)))
        return End::OutputFailed;
    for (int n = 1; n <= options_.repeat; ++n) {
        if (n > 1 && !exchanger_.pause(options_.intervalMs))
            break;
        const ExchangeReport done = exchange(n);
        if (done.result.outcome == ExchangeResult::Outcome::Stopped)
            break;
        log_.exchanged(done);
        if (log_.failed())
            return End::LogFailed;
        if (!report(done))
            return End::OutputFailed;
        if (exchanger_.lost())
            break;
    }
    if (interrupted())
        return End::Interrupted;
    return exchanger_.lost() ? End::DeviceLost : End::Finished;
}

ExchangeReport Session::exchange(int number) {
    ExchangeReport report;
    report.number = number;
    report.sent = options_.message;
    report.result =
        exchanger_.exchange(options_.message, options_.waitMs, options_.quietMs, expectedBytes_);
    if (!report.answered())
        return report;
    if (options_.check) {
        const CheckVerdict verdict = verifyCheck(*options_.check, bytesOf(report.result.reply));
        report.check = CheckReport{checkCodeText(*options_.check, verdict.received),
                                   checkCodeText(*options_.check, verdict.expected), verdict.ok()};
    }
    if (options_.expected || options_.check)
        report.matched =
            (!options_.expected || replyMatches(*options_.expected, report.result.reply)) &&
            (!report.check || report.check->ok);
    return report;
}

bool Session::report(const ExchangeReport& report) {
    if (report.result.leftOver > 0)
        writeErr(QStringLiteral("kavetta-send: dropped %1 that came before exchange %2\n")
                     .arg(counted(report.result.leftOver, "character"))
                     .arg(report.number));
    tally_.add(report);
    if (options_.json)
        return writeOut(
            exchangeJson(report, options_.expected.has_value() || options_.check.has_value()));
    QString text = exchangeText(report, options_.waitText, options_.repeat > 1);
    if (report.matched == false && options_.expected && options_.repeat == 1)
        text += expectedText(*options_.expected);
    return writeOut(text);
}

void Session::watchInterrupt() {
    if (interrupted())
        exchanger_.stop();
}

} // namespace kav
