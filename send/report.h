#pragma once

#include "exchange.h"
#include "messagetext.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

namespace kav {

// A reply's check code beside the one its bytes call for, as a person reads them; either may be
// empty (none there, or none to compute).
struct CheckReport {
    QString received;
    QString expected;
    bool ok = false;
    bool none = false; // a lone [ACK] or [NAK], which carries no code and needs none
};

// How one exchange turned out, in the forms it is reported in.
struct ExchangeReport {
    int number = 1; // the exchange, or with a script the round
    int step = 0;   // with a script, which of its sends, from 1
    CodeString sent;
    ExchangeResult result;
    std::optional<bool> matched;      // only when a reply was expected, and one came
    std::optional<CheckReport> check; // with a check code, for a reply that came
    std::optional<InputLines> lines;  // --lines, as the exchange ended, while the port was open

    bool answered() const { return result.outcome == ExchangeResult::Outcome::Replied; }
    // A reply that came, but not as expected or with a wrong check code.
    bool different() const { return answered() && (matched == false || (check && !check->ok)); }
    bool passed() const { return answered() && !different(); }
    double ms() const { return double(result.replyNs) / 1e6; }
    // From the message gone to the reply's first byte, where both were seen.
    std::optional<double> turnaroundMs() const;
};

// The reply time the window shows for a reply after `ms`: its 100 ms ticks, counted as it counts
// them.
QString windowTime(double ms);

struct Statistics {
    int exchanges = 0;
    int replies = 0;
    int misses = 0;
    int different = 0;
    std::optional<double> min, median, p95, max; // milliseconds, over the replies
    std::optional<LineErrors> errors;            // over the whole run, where the port counts them
};

// The statistics of a run, kept as its exchanges end: of each reply only its time, so that a
// soak of any length needs little memory.
class Tally {
public:
    void add(const ExchangeReport& report);
    Statistics statistics() const;
    int exchanges() const { return counts_.exchanges; }
    bool allPassed() const { return counts_.replies - counts_.different == counts_.exchanges; }

private:
    Statistics counts_;
    QList<double> times_;
};

// "1 character", "2 characters".
QString counted(qsizetype n, const char* thing);

// Text for a person: the message sent as the send views show it, then each exchange.
QString sentText(const CodeString& sent);
QString exchangeText(const ExchangeReport& report, const QString& waitText, bool oneLine);
QString statisticsText(const Statistics& statistics);
// "adapter: latency timer 16 ms" and a line end, or nothing where the port has no such timer;
// with what it was before --low-latency lowered it, "adapter: latency timer 1 ms (16 ms
// before --low-latency)".
QString latencyText(std::optional<int> latencyTimerMs, std::optional<int> beforeMs = std::nullopt);
// "CTS on, DSR off, DCD on, RI off".
QString linesText(const InputLines& lines);
QJsonObject linesJson(const InputLines& lines);
// What was expected instead of a different reply, in the reply's forms.
QString expectedText(const CodeString& expected);

// "replied", "no reply", "not written", "lost", "interrupted", as the JSON output names them.
const char* outcomeName(ExchangeResult::Outcome outcome);

// One line of JSON each. With a reply expected, "matched" is there for every exchange, null where
// no reply came; with a check code, "check" for every reply.
QString exchangeJson(const ExchangeReport& report, bool expecting);
// With `beforeMs`, the latency timer before --low-latency lowered it as well.
QString statisticsJson(const Statistics& statistics, std::optional<int> latencyTimerMs,
                       std::optional<int> beforeMs = std::nullopt);
// "frame", "parity", "overrun", "break", each with its count.
QJsonValue lineErrorsJson(const std::optional<LineErrors>& errors);
// The moments of an exchange for the session log, in microseconds from the write's start.
QJsonObject timingJson(const ExchangeTiming& timing);

} // namespace kav
