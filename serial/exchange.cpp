#include "exchange.h"

#include "portdevice.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <algorithm>
#include <cmath>

namespace kav {

Exchanger::Exchanger(MSComm& comm)
    : comm_(comm), line_(*parseSettings(comm.Settings(), hasOneAndHalfStopBits())),
      baudRate_(line_.baudRate), hasLineRate_(comm.hasLineRate()) {
    // A port that cannot count them now never will: it is not asked again each exchange.
    firstCount_ = countErrors();
    countable_ = firstCount_.has_value();
    for (QTimer* timer : {&deadline_, &quiet_, &drain_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&comm_, &MSComm::Written, this, &Exchanger::onWritten);
    connect(&comm_, &MSComm::Arrived, this, &Exchanger::onArrived);
    connect(&comm_, &MSComm::OnComm, this, &Exchanger::onComm);
    connect(&comm_, &MSComm::DeviceLost, this, &Exchanger::onDeviceLost);
    connect(&deadline_, &QTimer::timeout, this, &Exchanger::onDeadline);
    connect(&quiet_, &QTimer::timeout, this, &Exchanger::onQuiet);
    connect(&drain_, &QTimer::timeout, this, &Exchanger::checkGone);
}

std::optional<LineErrors> Exchanger::countErrors() {
    if (!countable_)
        return std::nullopt;
    if (const std::optional<LineErrors> now = comm_.lineErrors())
        lastCount_ = now;
    else
        return std::nullopt;
    return lastCount_;
}

std::optional<LineErrors> Exchanger::lineErrorTotal() {
    countErrors();
    if (!firstCount_ || !lastCount_)
        return std::nullopt;
    return lastCount_->since(*firstCount_);
}

int Exchanger::writeLimitMs(qsizetype characters, qint32 baudRate) {
    const double bitsPerCharacter = 12; // start, 8 data, parity, 2 stop at the most
    const double ms = double(characters) * bitsPerCharacter * 1000 / std::max(baudRate, 1);
    return int(std::min(2 * ms + 2000, 3600e3));
}

ExchangeResult Exchanger::exchange(const CodeString& message, int waitMs, int quietMs,
                                   const std::optional<QByteArray>& expected) {
    // A late end of the previous reply must not pass for the start of this one: it is taken in,
    // counted and dropped. Where the driver holds nothing, that costs no turn of the event loop.
    const bool late = comm_.inputMayWait();
    if (late)
        QCoreApplication::processEvents();
    result_ = ExchangeResult();
    result_.leftOver = droppedSince_ + comm_.InBufferCount();
    droppedSince_ = 0;
    if (late || comm_.InBufferCount() > 0)
        comm_.setInBufferCount(0);
    if (lost_ || !comm_.PortOpen())
        result_.outcome = ExchangeResult::Outcome::DeviceLost;
    if (stopped_)
        result_.outcome = ExchangeResult::Outcome::Stopped;
    if (lost_ || stopped_ || !comm_.PortOpen())
        return result_;

    message_ = bytesOf(message);
    waitMs_ = waitMs;
    quietMs_ = quietMs;
    expected_ = expected;
    expectedAt_ = 0;
    agrees_ = true;
    written_ = started_ = finished_ = false;
    phase_ = Phase::Exchanging;
    const std::optional<LineErrors> before = countErrors();
    clock_.start();
    if (comm_.OutputNow(message))
        onWritten();
    else if (!written_)
        deadline_.start(writeLimitMs(message.size(), baudRate_));
    // Every ending comes from a handler the event loop calls, so a turn of it that ends the
    // exchange returns by itself; a nested loop's quit would cost a wake-up of the loop and a turn
    // more for each exchange.
    while (!finished_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    phase_ = Phase::Idle;
    deadline_.stop();
    quiet_.stop();
    drain_.stop();
    if (const std::optional<LineErrors> after = countErrors(); before && after)
        result_.errors = after->since(*before);
    return result_;
}

bool Exchanger::pause(int ms) {
    if (!lost_ && !stopped_ && ms > 0) {
        QEventLoop loop;
        loop_ = &loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        loop_ = nullptr;
    }
    return !lost_ && !stopped_;
}

bool Exchanger::sendBreak(int ms) {
    QElapsedTimer drained;
    drained.start();
    const int limitMs = writeLimitMs(comm_.OutBufferCount(), baudRate_);
    while (comm_.OutBufferCount() > 0 && drained.elapsed() < limitMs)
        if (!pause(1))
            return false;
    comm_.setBreak(true);
    const bool held = pause(ms);
    comm_.setBreak(false);
    return held;
}

void Exchanger::stop() {
    stopped_ = true;
    if (phase_ == Phase::Exchanging)
        finish(ExchangeResult::Outcome::Stopped);
    else if (loop_)
        loop_->quit();
}

void Exchanger::onWritten() {
    if (phase_ != Phase::Exchanging || written_)
        return;
    written_ = true;
    result_.timing.handedNs = clock_.nsecsElapsed();
    deadline_.start(waitMs_);
    checkGone();
    emit wrote(message_);
}

void Exchanger::checkGone() {
    ExchangeTiming& timing = result_.timing;
    if (phase_ != Phase::Exchanging || !written_ || timing.goneNs >= 0 || timing.firstNs >= 0)
        return;
    const qint64 now = clock_.nsecsElapsed();
    // A pseudo-terminal hands what it is given to the far end as it is written.
    if (!hasLineRate_ || comm_.OutBufferCount() == 0) {
        timing.goneNs = now;
        return;
    }
    // Looked at on every turn of the event loop while the message may be about to go, then each
    // millisecond, which costs nothing against a far end that answers at once: a
    // pseudo-terminal's queue is empty as soon as it is written to.
    queuedSeenNs_ = now;
    const qint64 sinceHanded = now - timing.handedNs;
    if (sinceHanded < qint64(writeLimitMs(message_.size(), baudRate_)) * 1000000)
        drain_.start(sinceHanded < 2000000 ? 0 : 1);
}

void Exchanger::onArrived() {
    if (phase_ != Phase::Exchanging || finished_)
        return;
    ExchangeTiming& timing = result_.timing;
    timing.lastNs = clock_.nsecsElapsed();
    if (!started_) {
        started_ = true;
        timing.firstNs = timing.lastNs;
        result_.replyNs = written_ ? timing.firstNs - timing.handedNs : 0;
        deadline_.stop();
        // The queue emptied after it was last seen full and before now: the earlier moment, so
        // that the turnaround is at most one look too long, never too short.
        if (written_ && timing.goneNs < 0 && comm_.OutBufferCount() == 0)
            timing.goneNs = queuedSeenNs_;
        drain_.stop();
        timing.impossible = hasLineRate_ && impossibleReply(timing.firstNs, message_.size(), line_);
    }
    // Without a quiet spell the reply ends as it is taken (takeReply); a lead byte held for its
    // trail is let go by the control itself after its hold.
    if (quietMs_ > 0)
        quiet_.start(quietMs_);
}

void Exchanger::onComm() {
    const CodeString codes = comm_.Input();
    // Made into bytes only for someone who listens: a run without a log has nobody.
    static const QMetaMethod readSignal = QMetaMethod::fromSignal(&Exchanger::read);
    if (!codes.isEmpty() && isSignalConnected(readSignal))
        emit read(bytesOf(codes));
    if (phase_ == Phase::Exchanging && !finished_)
        takeReply(codes);
    else
        droppedSince_ += codes.size();
}

void Exchanger::takeReply(const CodeString& codes) {
    const qsizetype room = ReplyLimit - result_.reply.size();
    result_.reply += codes.first(std::min(room, codes.size()));
    if (codes.size() >= room) {
        result_.cut = codes.size() > room || comm_.InBufferCount() > 0;
        finish(ExchangeResult::Outcome::Replied);
        return;
    }
    // No quiet spell to wait for: the reply is what has come, unless a lead byte waits for its
    // trail, without another turn of the event loop for a timer that is already due.
    if (quietMs_ == 0) {
        if (comm_.InBufferCount() == 0)
            finish(ExchangeResult::Outcome::Replied);
        return;
    }
    if (!expected_ || !agrees_)
        return;
    // Compared as it comes, so a long reply in many small reads costs no more than one.
    const QByteArray bytes = bytesOf(codes);
    agrees_ = expectedAt_ + bytes.size() <= expected_->size() &&
              expected_->sliced(expectedAt_).startsWith(bytes);
    expectedAt_ += bytes.size();
    // Whether more follows must not depend on how the driver split the reply: listen a little
    // longer for it, but not the whole quiet spell.
    if (agrees_ && expectedAt_ == expected_->size())
        quiet_.start(std::min(quietMs_, afterMatchMs(line_)));
}

int Exchanger::afterMatchMs(const LineSettings& line) {
    const double characterMs = bitsPerCharacter(line) * 1000 / std::max(line.baudRate, 1);
    return AfterMatchMarginMs + int(std::ceil(AfterMatchCharacters * characterMs));
}

void Exchanger::onDeviceLost() {
    lost_ = true;
    if (phase_ != Phase::Exchanging) {
        if (loop_)
            loop_->quit();
        return;
    }
    // What had come before the loss is a reply all the same, and is reported as one.
    result_.lost = started_;
    finish(started_ ? ExchangeResult::Outcome::Replied : ExchangeResult::Outcome::DeviceLost);
}

void Exchanger::onDeadline() {
    if (written_) {
        finish(ExchangeResult::Outcome::NoReply);
        return;
    }
    // Whatever the line has not taken by now must not go out in the middle of a later exchange.
    comm_.setOutBufferCount(0);
    finish(ExchangeResult::Outcome::NotWritten);
}

void Exchanger::onQuiet() {
    // A lead byte held for its trail is still part of the reply: wait for it.
    if (comm_.InBufferCount() > 0)
        quiet_.start(MSComm::LeadHoldMs);
    else
        finish(ExchangeResult::Outcome::Replied);
}

void Exchanger::finish(ExchangeResult::Outcome outcome) {
    // The first ending counts: events already queued behind it must not rewrite the outcome.
    if (finished_)
        return;
    finished_ = true;
    result_.outcome = outcome;
    deadline_.stop();
    quiet_.stop();
    if (loop_)
        loop_->quit();
}

} // namespace kav
