#include "replay.h"

#include "rules.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <algorithm>

namespace kav {

namespace {

struct Seen {
    QByteArray message;
    QList<QByteArray> replies; // empty for none
    QList<double> ms;
};

QString seconds(double ms) {
    return QString::number(ms / 1000, 'f', 4)
        .remove(QRegularExpression(QStringLiteral("0+$")))
        .remove(QRegularExpression(QStringLiteral("\\.$")));
}

QString replyText(const QByteArray& reply, double ms) {
    if (reply.isEmpty())
        return QStringLiteral("reply none");
    return QStringLiteral("reply %1 after %2").arg(writtenBytes(reply), seconds(ms));
}

} // namespace

ReplayRules rulesFromLog(const QString& log) {
    QList<Seen> seen;
    std::optional<QByteArray> message;
    QByteArray reply;
    const QStringList lines = log.split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QJsonParseError parseError;
        const QJsonObject object = QJsonDocument::fromJson(lines[i].toUtf8(), &parseError).object();
        if (parseError.error != QJsonParseError::NoError)
            return {QString(),
                    QStringLiteral("line %1: %2").arg(i + 1).arg(parseError.errorString())};
        const QString event = object.value(QStringLiteral("event")).toString();
        const QByteArray hex =
            QByteArray::fromHex(object.value(QStringLiteral("hex")).toString().toLatin1());
        if (event == u"start" && object.contains(QStringLiteral("program")))
            return {QString(), QStringLiteral("line %1: the log of %2, not of kavetta-send")
                                   .arg(i + 1)
                                   .arg(object.value(QStringLiteral("program")).toString())};
        if (event == u"write") {
            message = hex;
            reply.clear();
        } else if (event == u"read" && message) {
            reply += hex;
        } else if (event == u"exchange" && message) {
            auto same = std::find_if(seen.begin(), seen.end(),
                                     [&](const Seen& s) { return s.message == *message; });
            if (same == seen.end())
                same = seen.insert(seen.end(), Seen{*message, {}, {}});
            same->replies.append(reply);
            same->ms.append(object.value(QStringLiteral("ms")).toDouble());
            message.reset();
        }
    }
    QString rules =
        QStringLiteral("# made by kavetta-answer --rules-from from a kavetta-send log\n");
    for (const Seen& s : seen) {
        QString line = QStringLiteral("on ") + writtenBytes(s.message);
        if (std::all_of(s.replies.cbegin(), s.replies.cend(),
                        [&](const QByteArray& r) { return r == s.replies.first(); })) {
            QList<double> ms = s.ms;
            std::sort(ms.begin(), ms.end());
            line += u' ' + replyText(s.replies.first(), ms[ms.size() / 2]);
        } else {
            for (qsizetype i = 0; i < s.replies.size(); ++i)
                line += u' ' + replyText(s.replies[i], s.ms[i]);
        }
        rules += line + u'\n';
    }
    return {rules, QString()};
}

} // namespace kav
