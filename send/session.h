#pragma once

#include "exchange.h"
#include "options.h"
#include "report.h"
#include "sessionlog.h"

#include <QTimer>

namespace kav {

// The exchanges of one run on an open port, each written to standard output as it ends.
class Session : public QObject {
    Q_OBJECT
public:
    enum class End { Finished, DeviceLost, Interrupted, OutputFailed, LogFailed };

    // `log` may be closed: then nothing is logged.
    Session(MSComm& comm, const SendOptions& options, SessionLog& log);
    End run();
    const Tally& tally() const { return tally_; }
    // The USB adapter's own latency timer, which each reply time may include.
    std::optional<int> latencyTimerMs() const { return latencyTimerMs_; }
    // With --low-latency, the latency timer before it was lowered.
    std::optional<int> latencyBeforeMs() const { return latencyBeforeMs_; }
    // The line errors of the whole run, where the port counts them.
    std::optional<LineErrors> lineErrors() { return exchanger_.lineErrorTotal(); }

private:
    End runRound(int round);
    bool control(const ScriptStep& step);
    ExchangeReport exchange(int round, int sendIndex, const ScriptStep& step);
    bool report(const ExchangeReport& report, const ScriptStep& step);
    void watchInterrupt();

    MSComm& comm_;
    const SendOptions& options_;
    SessionLog& log_;
    Exchanger exchanger_;
    bool failed_ = false; // a step of a script failed: the later ones are not sent
    QTimer interruptWatch_;
    Tally tally_;
    std::optional<int> latencyTimerMs_;
    std::optional<int> latencyBeforeMs_;
};

} // namespace kav
