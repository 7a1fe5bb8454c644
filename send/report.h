#pragma once

#include "exchange.h"
#include "messagetext.h"

#include <QList>
#include <QString>
#include <optional>

namespace kav {

// How one exchange turned out, in the forms it is reported in.
struct ExchangeReport {
    int number = 1;
    CodeString sent;
    ExchangeResult result;
    std::optional<bool> matched; // only when a reply was expected

    bool answered() const { return result.outcome == ExchangeResult::Outcome::Replied; }
    bool passed() const { return answered() && matched.value_or(true); }
    double ms() const { return double(result.replyNs) / 1e6; }
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
};
Statistics statisticsOf(const QList<ExchangeReport>& reports);

// Text for a person: the message sent as the send views show it, then each exchange.
QString sentText(const CodeString& sent);
QString exchangeText(const ExchangeReport& report, const QString& waitText, bool oneLine);
QString statisticsText(const Statistics& statistics);
// What was expected instead of a different reply, in the reply's forms.
QString expectedText(const CodeString& expected);

// One line of JSON each.
QString exchangeJson(const ExchangeReport& report);
QString statisticsJson(const Statistics& statistics);

} // namespace kav
