#include "report.h"

#include "bytesplitter.h"
#include "mnemonics.h"
#include "reception.h"
#include "sendbuffer.h"
#include "ticks.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace kav {

namespace {

// The three forms a view shows: text, codes and the count.
struct Shown {
    QString text;
    QString hex;
    qsizetype count;
};

Shown shownSent(const CodeString& sent) {
    SendBuffer buffer;
    appendCodes(buffer, sent); // the message was checked against the bound already
    return {buffer.SendText(), buffer.SendHex(), buffer.SendData().size()};
}

// The reply's text alone, as the text view shows it: a one-line report has no room for the rest.
QString shownReplyText(const CodeString& reply) {
    QString text;
    for (Code code : reply)
        text += receiveToken(code);
    return receiveView(text);
}

Shown shownReply(const CodeString& reply) {
    Reception reception;
    reception.take(reply);
    return {receiveView(reception.RecvText), reception.RecvHex, reception.RecvData.size()};
}

QString block(const QString& label, const Shown& shown) {
    const QString indent(8, u' ');
    return (label + QStringLiteral(":")).leftJustified(8) + shown.text + u'\n' + indent +
           shown.hex + u'\n' + indent + counted(shown.count, "character") + u'\n';
}

double tenthOfMs(double ms) {
    return std::round(ms * 10) / 10;
}

// "12.3" on the end of text: rounded as the JSON figure is, and without the general number
// formatting, which cost more than the rest of a one-line report together.
void appendMilliseconds(QString& text, double ms) {
    const double tenths = std::round(ms * 10);
    if (!(std::abs(tenths) < 1e15)) {
        text += QString::number(ms, 'f', 1);
        return;
    }
    qint64 magnitude = std::abs(qint64(tenths));
    char digits[24];
    char* at = digits + sizeof digits;
    *--at = char('0' + magnitude % 10);
    *--at = '.';
    magnitude /= 10;
    do
        *--at = char('0' + magnitude % 10);
    while ((magnitude /= 10) > 0);
    if (tenths < 0)
        *--at = '-';
    text += QLatin1String(at, digits + sizeof digits);
}

QString milliseconds(double ms) {
    QString text;
    appendMilliseconds(text, ms);
    return text;
}

QJsonObject jsonOf(const Shown& shown) {
    return {{QStringLiteral("text"), shown.text},
            {QStringLiteral("hex"), shown.hex},
            {QStringLiteral("count"), double(shown.count)}};
}

QString line(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
}

QJsonValue optionalMs(const std::optional<double>& ms) {
    return ms ? QJsonValue(tenthOfMs(*ms)) : QJsonValue(QJsonValue::Null);
}

// ", turnaround 10.0 ms" where both its ends were seen.
void appendTurnaround(QString& text, const ExchangeReport& report) {
    if (const std::optional<double> turnaround = report.turnaroundMs()) {
        text += QLatin1String(", turnaround ");
        appendMilliseconds(text, *turnaround);
        text += QLatin1String(" ms");
    }
}

QString turnaroundText(const ExchangeReport& report) {
    QString text;
    appendTurnaround(text, report);
    return text;
}

const QString ImpossibleText =
    QStringLiteral("impossible at the line's rate: the reply began before the message could "
                   "have crossed the line (a loopback, an echo or another baud rate)");

QString errorsText(const ExchangeReport& report) {
    return report.result.errors ? lineErrorsText(*report.result.errors) : QString();
}

} // namespace

std::optional<double> ExchangeReport::turnaroundMs() const {
    const std::optional<qint64> ns = result.timing.turnaroundNs();
    return ns ? std::optional<double>(double(*ns) / 1e6) : std::nullopt;
}

QString windowTime(double ms) {
    return tickText(ticksAfter(qint64(ms)));
}

void Tally::add(const ExchangeReport& report) {
    ++counts_.exchanges;
    if (!report.answered()) {
        ++counts_.misses;
        return;
    }
    ++counts_.replies;
    times_.append(report.ms());
    if (report.different())
        ++counts_.different;
}

Statistics Tally::statistics() const {
    Statistics statistics = counts_;
    if (times_.isEmpty())
        return statistics;
    QList<double> times = times_;
    std::sort(times.begin(), times.end());
    const qsizetype n = times.size();
    statistics.min = times.first();
    statistics.max = times.last();
    statistics.median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    // Nearest rank: the smallest time that at least 95 % of the replies do not exceed.
    statistics.p95 = times[qsizetype(std::ceil(0.95 * double(n))) - 1];
    return statistics;
}

QString counted(qsizetype n, const char* thing) {
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(thing)).arg(n == 1 ? "" : "s");
}

QString sentText(const CodeString& sent) {
    return block(QStringLiteral("sent"), shownSent(sent));
}

namespace {

// Why no reply is shown, in the words that follow "no reply"; empty for a reply.
QString missing(const ExchangeReport& report, const QString& waitText) {
    using Outcome = ExchangeResult::Outcome;
    switch (report.result.outcome) {
    case Outcome::Replied:
        return QString();
    case Outcome::NoReply:
        return QStringLiteral("within %1 s").arg(waitText);
    case Outcome::NotWritten:
        return QStringLiteral("(the line did not take the message)");
    case Outcome::DeviceLost:
        return QStringLiteral("(the device was lost)");
    case Outcome::Stopped:
        return QStringLiteral("(interrupted)");
    }
    return QString();
}

QString checkText(const CheckReport& check) {
    if (check.none)
        return QStringLiteral("none needed (a lone [ACK] or [NAK])");
    const auto orNone = [](const QString& code) {
        return code.isEmpty() ? QStringLiteral("none") : code;
    };
    return QStringLiteral("%1 received, %2 expected")
        .arg(orNone(check.received), orNone(check.expected));
}

} // namespace

const char* outcomeName(ExchangeResult::Outcome outcome) {
    using Outcome = ExchangeResult::Outcome;
    switch (outcome) {
    case Outcome::Replied:
        return "replied";
    case Outcome::NoReply:
        return "no reply";
    case Outcome::NotWritten:
        return "not written";
    case Outcome::DeviceLost:
        return "lost";
    case Outcome::Stopped:
        return "interrupted";
    }
    return "";
}

QString linesText(const InputLines& lines) {
    const auto state = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    return QStringLiteral("CTS %1, DSR %2, DCD %3, RI %4")
        .arg(state(lines.cts), state(lines.dsr), state(lines.dcd), state(lines.ri));
}

QJsonObject linesJson(const InputLines& lines) {
    return {{QStringLiteral("cts"), lines.cts},
            {QStringLiteral("dsr"), lines.dsr},
            {QStringLiteral("dcd"), lines.dcd},
            {QStringLiteral("ri"), lines.ri}};
}

namespace {

QString oneLineText(const ExchangeReport& report, const QString& none) {
    const QString head = report.step == 0 ? QString::number(report.number) + QLatin1String(":  ")
                                          : QStringLiteral("%1.%2:  %3:  ")
                                                .arg(report.number)
                                                .arg(report.step)
                                                .arg(shownSent(report.sent).text);
    const QString lines =
        report.lines ? QStringLiteral("  lines: ") + linesText(*report.lines) : QString();
    if (!none.isEmpty())
        return head + QStringLiteral("no reply ") + none + lines + u'\n';
    const bool checkWrong = report.check && !report.check->ok;
    const QString errors = errorsText(report);
    const QString different =
        !report.different() ? QString()
        : checkWrong ? QStringLiteral("  (different: check %1)").arg(checkText(*report.check))
        : !errors.isEmpty() ? QStringLiteral("  (a miss: line errors)")
                            : QStringLiteral("  (different)");
    // One line an exchange, thousands a second: built in one piece.
    QString text = head;
    text.reserve(head.size() + 64 + report.result.reply.size() * 5);
    appendMilliseconds(text, report.ms());
    text += QLatin1String(" ms");
    appendTurnaround(text, report);
    text += QLatin1String("  ");
    text += windowTime(report.ms());
    text += QLatin1String("  ");
    text += shownReplyText(report.result.reply);
    text += different;
    if (report.result.lost)
        text += QLatin1String("  (then the device was lost)");
    if (report.result.timing.impossible)
        text += QLatin1String("  (impossible at the line's rate)");
    if (!errors.isEmpty())
        text += QLatin1String("  line errors: ") + errors;
    text += lines;
    text += u'\n';
    return text;
}

} // namespace

QString exchangeText(const ExchangeReport& report, const QString& waitText, bool oneLine) {
    const QString none = missing(report, waitText);
    if (oneLine)
        return oneLineText(report, none);
    const QString lines =
        report.lines ? QStringLiteral("lines:  ") + linesText(*report.lines) + u'\n' : QString();
    if (!none.isEmpty())
        return QStringLiteral("reply:  none ") + none + u'\n' + lines;
    QString text = block(QStringLiteral("reply"), shownReply(report.result.reply));
    if (report.result.cut)
        text += QStringLiteral("        cut here: the reply went on\n");
    if (report.result.lost)
        text += QStringLiteral("        then the device was lost\n");
    text += QStringLiteral("time:   %1 ms (%2 in the window)%3\n")
                .arg(milliseconds(report.ms()), windowTime(report.ms()), turnaroundText(report));
    if (report.result.timing.impossible)
        text += QStringLiteral("        ") + ImpossibleText + u'\n';
    if (const QString errors = errorsText(report); !errors.isEmpty())
        text += QStringLiteral("errors: ") + errors + u'\n';
    if (report.check)
        text += QStringLiteral("check:  ") + checkText(*report.check) + u'\n';
    return text + lines;
}

QString statisticsText(const Statistics& statistics) {
    QString text = QStringLiteral("replies %1, misses %2, different %3\n")
                       .arg(statistics.replies)
                       .arg(statistics.misses)
                       .arg(statistics.different);
    if (statistics.min)
        text += QStringLiteral("min %1 ms, median %2 ms, 95th percentile %3 ms, max %4 ms\n")
                    .arg(milliseconds(*statistics.min), milliseconds(*statistics.median),
                         milliseconds(*statistics.p95), milliseconds(*statistics.max));
    if (statistics.errors) {
        const QString errors = lineErrorsText(*statistics.errors);
        text += QStringLiteral("line errors: ") +
                (errors.isEmpty() ? QStringLiteral("none") : errors) + u'\n';
    }
    return text;
}

QString expectedText(const CodeString& expected) {
    // As a reply of those bytes would show: two written bytes that make a pair are one character.
    ByteSplitter splitter;
    CodeString codes;
    splitter.feed(bytesOf(expected), codes);
    splitter.flush(codes);
    const Shown shown = shownReply(codes);
    return QStringLiteral("expected: ") + shown.text + u'\n' + QString(10, u' ') + shown.hex +
           u'\n';
}

QString exchangeJson(const ExchangeReport& report, bool expecting) {
    QJsonObject object{
        {QStringLiteral("exchange"), report.number},
        {QStringLiteral("outcome"), QLatin1String(outcomeName(report.result.outcome))},
        {QStringLiteral("sent"), jsonOf(shownSent(report.sent))}};
    if (report.step > 0)
        object.insert(QStringLiteral("step"), report.step);
    if (report.answered()) {
        object.insert(QStringLiteral("reply"), jsonOf(shownReply(report.result.reply)));
        object.insert(QStringLiteral("ms"), tenthOfMs(report.ms()));
        object.insert(QStringLiteral("window"), windowTime(report.ms()));
        const std::optional<double> turnaround = report.turnaroundMs();
        object.insert(QStringLiteral("turnaround_ms"),
                      turnaround ? QJsonValue(tenthOfMs(*turnaround)) : QJsonValue());
        object.insert(QStringLiteral("impossible"), report.result.timing.impossible);
        if (report.result.cut)
            object.insert(QStringLiteral("cut"), true);
        if (report.result.lost)
            object.insert(QStringLiteral("lost"), true);
        if (report.check) {
            const auto code = [&](const QString& text) {
                return report.check->none ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
            };
            object.insert(QStringLiteral("check"),
                          QJsonObject{{QStringLiteral("received"), code(report.check->received)},
                                      {QStringLiteral("expected"), code(report.check->expected)},
                                      {QStringLiteral("ok"), report.check->ok}});
        }
    } else {
        for (const char* key : {"reply", "ms", "window", "turnaround_ms", "impossible"})
            object.insert(QLatin1String(key), QJsonValue::Null);
    }
    object.insert(QStringLiteral("errors"), lineErrorsJson(report.result.errors));
    if (report.lines)
        object.insert(QStringLiteral("lines"), linesJson(*report.lines));
    if (report.matched)
        object.insert(QStringLiteral("matched"), *report.matched);
    else if (expecting)
        object.insert(QStringLiteral("matched"), QJsonValue::Null);
    return line(object);
}

QString latencyText(std::optional<int> latencyTimerMs, std::optional<int> beforeMs) {
    if (!latencyTimerMs)
        return QString();
    const QString before =
        beforeMs ? QStringLiteral(" (%1 ms before --low-latency)").arg(*beforeMs) : QString();
    return QStringLiteral("adapter: latency timer %1 ms%2\n").arg(*latencyTimerMs).arg(before);
}

QJsonValue lineErrorsJson(const std::optional<LineErrors>& errors) {
    if (!errors)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("frame"), double(errors->frame)},
                       {QStringLiteral("parity"), double(errors->parity)},
                       {QStringLiteral("overrun"), double(errors->overrun)},
                       {QStringLiteral("break"), double(errors->brk)}};
}

QJsonObject timingJson(const ExchangeTiming& timing) {
    const auto us = [](qint64 ns) { return ns < 0 ? QJsonValue() : QJsonValue(double(ns / 1000)); };
    return {{QStringLiteral("handed_us"), us(timing.handedNs)},
            {QStringLiteral("gone_us"), us(timing.goneNs)},
            {QStringLiteral("first_us"), us(timing.firstNs)},
            {QStringLiteral("last_us"), us(timing.lastNs)}};
}

QString statisticsJson(const Statistics& statistics, std::optional<int> latencyTimerMs,
                       std::optional<int> beforeMs) {
    QJsonObject summary{{QStringLiteral("exchanges"), statistics.exchanges},
                        {QStringLiteral("replies"), statistics.replies},
                        {QStringLiteral("misses"), statistics.misses},
                        {QStringLiteral("different"), statistics.different},
                        {QStringLiteral("min_ms"), optionalMs(statistics.min)},
                        {QStringLiteral("median_ms"), optionalMs(statistics.median)},
                        {QStringLiteral("p95_ms"), optionalMs(statistics.p95)},
                        {QStringLiteral("max_ms"), optionalMs(statistics.max)},
                        {QStringLiteral("latency_timer_ms"),
                         latencyTimerMs ? QJsonValue(*latencyTimerMs) : QJsonValue()},
                        {QStringLiteral("errors"), lineErrorsJson(statistics.errors)}};
    if (beforeMs)
        summary.insert(QStringLiteral("latency_timer_before_ms"), *beforeMs);
    return line({{QStringLiteral("summary"), summary}});
}

} // namespace kav
