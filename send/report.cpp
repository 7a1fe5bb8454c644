#include "report.h"

#include "bytesplitter.h"
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

Shown shownReply(const CodeString& reply) {
    Reception reception;
    reception.take(reply);
    return {receiveView(reception.RecvText), reception.RecvHex, reception.RecvData.size()};
}

QString block(const QString& label, const Shown& shown) {
    const QString indent(8, u' ');
    return (label + QStringLiteral(":")).leftJustified(8) + shown.text + u'\n' + indent +
           shown.hex + u'\n' + indent + QStringLiteral("%1 characters\n").arg(shown.count);
}

QString milliseconds(double ms) {
    return QString::number(ms, 'f', 1);
}

double tenthOfMs(double ms) {
    return std::round(ms * 10) / 10;
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

} // namespace

QString windowTime(double ms) {
    return tickText(ticksAfter(qint64(ms)));
}

Statistics statisticsOf(const QList<ExchangeReport>& reports) {
    Statistics statistics;
    QList<double> times;
    for (const ExchangeReport& report : reports) {
        ++statistics.exchanges;
        if (!report.answered()) {
            ++statistics.misses;
            continue;
        }
        ++statistics.replies;
        times.append(report.ms());
        if (!report.matched.value_or(true))
            ++statistics.different;
    }
    if (times.isEmpty())
        return statistics;
    std::sort(times.begin(), times.end());
    const qsizetype n = times.size();
    statistics.min = times.first();
    statistics.max = times.last();
    statistics.median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    // Nearest rank: the smallest time that at least 95 % of the replies do not exceed.
    statistics.p95 = times[qsizetype(std::ceil(0.95 * double(n))) - 1];
    return statistics;
}

QString sentText(const CodeString& sent) {
    return block(QStringLiteral("sent"), shownSent(sent));
}

QString exchangeText(const ExchangeReport& report, const QString& waitText, bool oneLine) {
    using Outcome = ExchangeResult::Outcome;
    QString none;
    switch (report.result.outcome) {
    case Outcome::Replied:
        break;
    case Outcome::NoReply:
        none = QStringLiteral("none within %1 s").arg(waitText);
        break;
    case Outcome::NotWritten:
        none = QStringLiteral("none: the message could not be written");
        break;
    case Outcome::DeviceLost:
        none = QStringLiteral("none: the device was lost");
        break;
    case Outcome::Stopped:
        none = QStringLiteral("none: interrupted");
        break;
    }
    const QString different = report.matched == false ? QStringLiteral("  (different)") : QString();
    if (oneLine) {
        const QString head = QStringLiteral("%1:  ").arg(report.number);
        if (!none.isEmpty())
            return head + QStringLiteral("no reply") + none.mid(4) + u'\n';
        return head + milliseconds(report.ms()) + QStringLiteral(" ms  ") +
               windowTime(report.ms()) + QStringLiteral("  ") +
               shownReply(report.result.reply).text + different + u'\n';
    }
    if (!none.isEmpty())
        return QStringLiteral("reply:  ") + none + u'\n';
    QString text = block(QStringLiteral("reply"), shownReply(report.result.reply));
    if (report.result.cut)
        text += QStringLiteral("        cut here: the reply went on\n");
    text += QStringLiteral("time:   %1 ms (%2 in the window)\n")
                .arg(milliseconds(report.ms()), windowTime(report.ms()));
    return text;
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
    return text;
}

QString expectedText(const CodeString& expected) {
    // Split as a reply's bytes are, so that two bytes written in hexadecimal show as the one
    // character a reply of those bytes would show.
    CodeString codes;
    ByteSplitter splitter;
    splitter.feed(bytesOf(expected), codes);
    splitter.flush(codes);
    const Shown shown = shownReply(codes);
    return QStringLiteral("expected: ") + shown.text + u'\n' + QString(10, u' ') + shown.hex +
           u'\n';
}

QString exchangeJson(const ExchangeReport& report) {
    QJsonObject object{{QStringLiteral("exchange"), report.number},
                       {QStringLiteral("sent"), jsonOf(shownSent(report.sent))}};
    if (report.answered()) {
        object.insert(QStringLiteral("reply"), jsonOf(shownReply(report.result.reply)));
        object.insert(QStringLiteral("ms"), tenthOfMs(report.ms()));
        object.insert(QStringLiteral("window"), windowTime(report.ms()));
        if (report.result.cut)
            object.insert(QStringLiteral("cut"), true);
    } else {
        for (const char* key : {"reply", "ms", "window"})
            object.insert(QLatin1String(key), QJsonValue::Null);
    }
    if (report.matched)
        object.insert(QStringLiteral("matched"), *report.matched);
    return line(object);
}

QString statisticsJson(const Statistics& statistics) {
    const QJsonObject summary{{QStringLiteral("exchanges"), statistics.exchanges},
                              {QStringLiteral("replies"), statistics.replies},
                              {QStringLiteral("misses"), statistics.misses},
                              {QStringLiteral("different"), statistics.different},
                              {QStringLiteral("min_ms"), optionalMs(statistics.min)},
                              {QStringLiteral("median_ms"), optionalMs(statistics.median)},
                              {QStringLiteral("p95_ms"), optionalMs(statistics.p95)},
                              {QStringLiteral("max_ms"), optionalMs(statistics.max)}};
    return line({{QStringLiteral("summary"), summary}});
}

} // namespace kav
