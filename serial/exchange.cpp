#include "exchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

namespace kav {

ExchangeResult Exchanger::exchange(const CodeString& message, int waitMs, int quietMs,
                                   int writeLimitMs) {
    ExchangeResult result;
    // A late end of the previous reply must not pass for the start of this one.
    QCoreApplication::processEvents();
    result.leftOver = comm_.InBufferCount();
    comm_.setInBufferCount(0);

    QEventLoop loop;
    QElapsedTimer clock;
    QTimer deadline; // the write, then the first byte
    QTimer quiet;    // the spell of silence that ends the reply
    for (QTimer* timer : {&deadline, &quiet}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    bool written = false;
    bool started = false;

    const auto startClock = [&] {
        if (written)
            return;
        written = true;
        clock.start();
        deadline.start(waitMs);
    };
    bool finished = false;
    // The first ending counts: events already queued behind it must not rewrite the outcome.
    const auto finish = [&](ExchangeResult::Outcome outcome) {
        if (finished)
            return;
        finished = true;
        result.outcome = outcome;
        loop.quit();
    };
    const auto connections = {
        connect(&comm_, &MSComm::Written, &loop, startClock),
        connect(&comm_, &MSComm::Arrived, &loop,
                [&] {
                    if (!started) {
                        started = true;
                        result.replyNs = written ? clock.nsecsElapsed() : 0;
                        deadline.stop();
                    }
                    quiet.start(quietMs);
                }),
        connect(&comm_, &MSComm::OnComm, &loop,
                [&] {
                    result.reply += comm_.Input();
                    if (result.reply.size() >= ReplyLimit) {
                        result.cut = result.reply.size() > ReplyLimit || comm_.InBufferCount() > 0;
                        result.reply.resize(ReplyLimit);
                        finish(ExchangeResult::Outcome::Replied);
                    }
                }),
        connect(&comm_, &MSComm::DeviceLost, &loop,
                [&] { finish(ExchangeResult::Outcome::DeviceLost); }),
        connect(&deadline, &QTimer::timeout, &loop,
                [&] {
                    finish(written ? ExchangeResult::Outcome::NoReply
                                   : ExchangeResult::Outcome::NotWritten);
                }),
        connect(&quiet, &QTimer::timeout, &loop,
                [&] {
                    // A lead byte held for its trail is still part of the reply: wait for it.
                    if (comm_.InBufferCount() > 0)
                        quiet.start(MSComm::LeadHoldMs);
                    else
                        finish(ExchangeResult::Outcome::Replied);
                }),
    };
    stop_ = [&] { finish(ExchangeResult::Outcome::Stopped); };
    deadline.start(writeLimitMs);
    if (comm_.OutputNow(message))
        startClock();
    loop.exec();
    stop_ = nullptr;
    for (const auto& connection : connections)
        disconnect(connection);
    return result;
}

void Exchanger::stop() {
    if (stop_)
        stop_();
}

} // namespace kav
