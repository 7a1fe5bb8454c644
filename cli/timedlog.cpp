#include "timedlog.h"

#include <QJsonDocument>

namespace kav {

bool TimedLog::open(const QString& path) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error_ = path + QStringLiteral(": ") + file_.errorString();
        return false;
    }
    clock_.start();
    return true;
}

void TimedLog::wrote(const QByteArray& bytes) {
    if (!isOpen()) // every chunk of a long run, for nothing
        return;
    line({{QStringLiteral("event"), QStringLiteral("write")},
          {QStringLiteral("hex"), QString::fromLatin1(bytes.toHex().toUpper())}});
}

void TimedLog::read(const QByteArray& bytes) {
    if (!isOpen()) // every chunk of a long run, for nothing
        return;
    line({{QStringLiteral("event"), QStringLiteral("read")},
          {QStringLiteral("hex"), QString::fromLatin1(bytes.toHex().toUpper())}});
}

void TimedLog::lineSet(const char* name, bool on) {
    line({{QStringLiteral("event"), QLatin1String(name)}, {QStringLiteral("on"), on}});
}

void TimedLog::breakSent(int ms) {
    line({{QStringLiteral("event"), QStringLiteral("break")}, {QStringLiteral("ms"), ms}});
}

void TimedLog::ended(const char* how) {
    line({{QStringLiteral("event"), QStringLiteral("end")},
          {QStringLiteral("how"), QLatin1String(how)}});
}

void TimedLog::line(QJsonObject object) {
    if (!file_.isOpen() || failed())
        return;
    object.insert(QStringLiteral("t_us"), double(clock_.nsecsElapsed() / 1000));
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    // A disk that fills in the middle of a line takes part of it without an error; the write of
    // the rest is the one that says why.
    for (qint64 done = 0; done < text.size();) {
        const qint64 wrote = file_.write(text.constData() + done, text.size() - done);
        if (wrote <= 0) {
            error_ = file_.fileName() + QStringLiteral(": ") + file_.errorString();
            return;
        }
        done += wrote;
    }
}

} // namespace kav
