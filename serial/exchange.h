#pragma once

#include "mscomm.h"

#include <functional>

namespace kav {

// One message out and the reply back, timed from the moment the system has taken the message to
// the first byte read. The reply ends after a quiet spell, or when it grows to ReplyLimit.
struct ExchangeResult {
    enum class Outcome { Replied, NoReply, NotWritten, DeviceLost, Stopped };
    Outcome outcome = Outcome::NoReply;
    qint64 replyNs = 0;     // meaningful for Replied only
    CodeString reply;       // what arrived, as codes
    bool cut = false;       // the reply went on past ReplyLimit and was cut there
    qsizetype leftOver = 0; // characters that were waiting from before the send: not counted
};

class Exchanger : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype ReplyLimit = MSComm::MaxWaiting;

    explicit Exchanger(MSComm& comm) : comm_(comm) {}

    // comm must be open with a receive threshold of 1. writeLimitMs bounds how long the message
    // may take to be handed over (it goes at the line's speed).
    ExchangeResult exchange(const CodeString& message, int waitMs, int quietMs, int writeLimitMs);
    // Ends the exchange under way at once (the operator pressed Ctrl+C).
    void stop();

private:
    MSComm& comm_;
    std::function<void()> stop_;
};

} // namespace kav
