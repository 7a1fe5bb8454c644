#include "answerer.h"

#include <cmath>
#include <thread>

namespace kav {

namespace {

// The timer's own lateness, which the sleep after it makes up.
constexpr qint64 WakeEarlyNs = 2'000'000;

// A system's sleep ends late by its wake-up latency; the last stretch is waited out on the
// clock, which costs a fraction of a millisecond of processor time a reply.
constexpr qint64 SpinNs = 300'000;

void sleepUntil(qint64 dueNs) {
    const qint64 now = nowNs();
    if (dueNs - now > SpinNs)
        std::this_thread::sleep_for(std::chrono::nanoseconds(dueNs - now - SpinNs));
    while (nowNs() < dueNs) {
    }
}

} // namespace

Answerer::Answerer(Line& line, Framer framer, Responder& responder, TimedLog& log,
                   qint64 characterNs)
    : line_(line), framer_(std::move(framer)), responder_(responder), log_(log),
      characterNs_(characterNs) {
    for (QTimer* timer : {&gapTimer_, &dueTimer_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&line_, &Line::received, this, &Answerer::onReceived);
    connect(&gapTimer_, &QTimer::timeout, this, &Answerer::onGap);
    connect(&dueTimer_, &QTimer::timeout, this, &Answerer::onDue);
}

void Answerer::onReceived(const QByteArray& bytes, qint64 atNs) {
    log_.read(bytes);
    for (const Request& request : framer_.feed(bytes, atNs))
        handle(request);
    if (const std::optional<qint64> due = framer_.deadline())
        wakeAt(gapTimer_, *due);
    else
        gapTimer_.stop();
}

void Answerer::onGap() {
    const std::optional<qint64> due = framer_.deadline();
    if (!due)
        return;
    if (*due - nowNs() > WakeEarlyNs) {
        wakeAt(gapTimer_, *due);
        return;
    }
    sleepUntil(*due);
    if (const std::optional<Request> request = framer_.expire(nowNs()))
        handle(*request);
}

void Answerer::handle(const Request& request) {
    Job job{responder_.answer(request.bytes), ++exchanges_, request.lastByteNs};
    const Answer& answer = job.answer;
    QJsonObject event{{QStringLiteral("event"), QStringLiteral("request")},
                      {QStringLiteral("exchange"), job.exchange},
                      {QStringLiteral("hex"), QString::fromLatin1(request.bytes.toHex().toUpper())},
                      {QStringLiteral("outcome"), QLatin1String(outcomeName(answer.outcome))}};
    if (answer.rule > 0)
        event.insert(QStringLiteral("rule"), answer.rule);
    if (answer.dropped)
        event.insert(QStringLiteral("fault"), QStringLiteral("drop"));
    if (answer.corruptedAt >= 0)
        event.insert(QStringLiteral("corrupted_at"), double(answer.corruptedAt));
    if (answer.breakFirst)
        event.insert(QStringLiteral("break_first"), true);
    log_.line(event);
    if (answer.dropped || answer.parts.isEmpty())
        return;
    jobs_.push_back(std::move(job));
    arm();
}

qint64 Answerer::dueNs(const Job& job) const {
    const Answer::Part& part = job.answer.parts[job.next];
    const qint64 from = job.next == 0 ? job.requestNs : job.previousEndNs;
    // One reply after another, never over the one before.
    return std::max(from + part.afterNs, job.next == 0 ? lineFreeNs_ : qint64(0));
}

void Answerer::arm() {
    if (jobs_.empty())
        dueTimer_.stop();
    else
        wakeAt(dueTimer_, dueNs(jobs_.front()));
}

void Answerer::wakeAt(QTimer& timer, qint64 dueNs) {
    const qint64 early = dueNs - nowNs() - WakeEarlyNs;
    timer.start(int(std::clamp<qint64>(early / 1'000'000, 0, INT_MAX)));
}

void Answerer::onDue() {
    if (jobs_.empty())
        return;
    Job& job = jobs_.front();
    const qint64 due = dueNs(job);
    if (due - nowNs() > WakeEarlyNs) {
        arm();
        return;
    }
    if (job.next == 0 && job.answer.breakFirst) {
        line_.sendBreak(BreakMs);
        log_.breakSent(BreakMs);
    }
    sleepUntil(due);
    const QByteArray& bytes = job.answer.parts[job.next].bytes;
    const qint64 sentNs = nowNs();
    line_.write(bytes);
    log_.wrote(bytes);
    if (job.next == 0)
        log_.line({{QStringLiteral("event"), QStringLiteral("exchange")},
                   {QStringLiteral("exchange"), job.exchange},
                   {QStringLiteral("outcome"), QLatin1String(outcomeName(job.answer.outcome))},
                   {QStringLiteral("ms"), std::round((sentNs - job.requestNs) / 1e5) / 10}});
    job.previousEndNs = sentNs + characterNs_ * bytes.size();
    lineFreeNs_ = job.previousEndNs;
    if (++job.next == job.answer.parts.size())
        jobs_.pop_front();
    arm();
}

} // namespace kav
