#include "session.h"

#include "console.h"
#include "portdevice.h"

namespace kav {

Session::Session(MSComm& comm, const SendOptions& options, SessionLog& log)
    : comm_(comm), options_(options), log_(log), exchanger_(comm),
      latencyTimerMs_(adapterLatencyMs(comm.device())) {
    if (options_.lowLatency) {
        if (const QString why = comm_.lowerLatency(); !why.isEmpty())
            writeErr(QStringLiteral("kavetta-send: --low-latency: %1: %2; the run goes on without "
                                    "it\n")
                         .arg(comm_.device(), why));
        latencyBeforeMs_ = latencyTimerMs_;
        latencyTimerMs_ = adapterLatencyMs(comm.device());
        log_.line({{QStringLiteral("event"), QStringLiteral("latency")},
                   {QStringLiteral("before_ms"),
                    latencyBeforeMs_ ? QJsonValue(*latencyBeforeMs_) : QJsonValue()},
                   {QStringLiteral("during_ms"),
                    latencyTimerMs_ ? QJsonValue(*latencyTimerMs_) : QJsonValue()}});
    }
    if (log_.isOpen()) {
        connect(&exchanger_, &Exchanger::wrote, this,
                [this](const QByteArray& b) { log_.wrote(b); });
        connect(&exchanger_, &Exchanger::read, this, [this](const QByteArray& b) { log_.read(b); });
    }
    // Ctrl+C ends a long run with the figures so far; signals cannot reach the loops themselves.
    catchInterrupt();
    connect(&interruptWatch_, &QTimer::timeout, this, &Session::watchInterrupt);
    interruptWatch_.start(50);
}

Session::End Session::run() {
    if (latencyTimerMs_ > 1)
        writeErr(QStringLiteral("kavetta-send: the adapter's latency timer is %1 ms, so each reply "
                                "time may include up to %1 ms of the adapter's own delay; "
                                "--low-latency lowers it for the run\n")
                     .arg(*latencyTimerMs_));
    // A script's messages are shown with their replies, one a line.
    const QString sent = options_.script ? QString() : sentText(options_.message());
    if (!options_.json && !writeOut(sent + latencyText(latencyTimerMs_, latencyBeforeMs_)))
        return End::OutputFailed;
    for (int round = 1; round <= options_.repeat && !failed_; ++round) {
        if (round > 1 && !exchanger_.pause(options_.intervalMs))
            break;
        const End end = runRound(round);
        if (end != End::Finished)
            return end;
        if (exchanger_.lost() || interrupted())
            break;
    }
    if (interrupted())
        return End::Interrupted;
    return exchanger_.lost() ? End::DeviceLost : End::Finished;
}

Session::End Session::runRound(int round) {
    int sendIndex = 0;
    for (const ScriptStep& step : options_.steps) {
        if (step.kind != ScriptStep::Kind::Send) {
            if (!control(step))
                return End::Finished;
            continue;
        }
        const ExchangeReport done = exchange(round, options_.script ? ++sendIndex : 0, step);
        if (done.result.outcome == ExchangeResult::Outcome::Stopped)
            return End::Finished;
        log_.exchanged(done);
        if (log_.failed())
            return End::LogFailed;
        if (!report(done, step))
            return End::OutputFailed;
        failed_ = options_.script && !done.passed();
        if (exchanger_.lost() || failed_)
            return End::Finished;
    }
    return End::Finished;
}

// A step that sends no message; false when the run ends in it.
bool Session::control(const ScriptStep& step) {
    switch (step.kind) {
    case ScriptStep::Kind::Dtr:
        comm_.setDTREnable(step.on);
        log_.lineSet("dtr", step.on);
        break;
    case ScriptStep::Kind::Rts:
        comm_.setRTSEnable(step.on);
        log_.lineSet("rts", step.on);
        break;
    case ScriptStep::Kind::Break:
        log_.breakSent(*step.waitMs);
        return exchanger_.sendBreak(*step.waitMs);
    case ScriptStep::Kind::Wait:
    case ScriptStep::Kind::Send:
        return exchanger_.pause(step.waitMs.value_or(0));
    }
    return !exchanger_.lost();
}

ExchangeReport Session::exchange(int round, int sendIndex, const ScriptStep& step) {
    ExchangeReport report;
    report.number = round;
    report.step = sendIndex;
    report.sent = step.message;
    const std::optional<QByteArray> expectedBytes =
        step.expected ? std::optional<QByteArray>(bytesOf(*step.expected)) : std::nullopt;
    report.result = exchanger_.exchange(step.message, step.waitMs.value_or(options_.waitMs),
                                        options_.quietMs, expectedBytes);
    if (options_.lines)
        report.lines = comm_.inputLines();
    if (!report.answered())
        return report;
    if (options_.check) {
        const CheckVerdict verdict = verifyCheck(*options_.check, bytesOf(report.result.reply));
        report.check = CheckReport{checkCodeText(*options_.check, verdict.received),
                                   checkCodeText(*options_.check, verdict.expected), verdict.ok(),
                                   verdict.none};
    }
    if (step.expected)
        report.matched = replyMatches(*step.expected, report.result.reply);
    // Bytes that came through a broken character may read right all the same.
    if (step.expected && report.result.errors && report.result.errors->any())
        report.matched = false;
    return report;
}

bool Session::report(const ExchangeReport& report, const ScriptStep& step) {
    if (report.result.leftOver > 0)
        writeErr(QStringLiteral("kavetta-send: dropped %1 that came before exchange %2\n")
                     .arg(counted(report.result.leftOver, "character"))
                     .arg(report.number));
    tally_.add(report);
    if (options_.json)
        return writeOut(exchangeJson(report, step.expected.has_value()));
    const bool oneLine = options_.repeat > 1 || options_.script;
    QString text = exchangeText(report, step.waitMs ? step.waitText : options_.waitText, oneLine);
    if (report.matched == false && !oneLine)
        text += expectedText(*step.expected);
    return writeOut(text);
}

void Session::watchInterrupt() {
    if (interrupted())
        exchanger_.stop();
}

} // namespace kav
