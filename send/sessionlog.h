#pragma once

#include "options.h"
#include "report.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>

namespace kav {

// --log: every byte written and read, in the order they passed, each chunk stamped with the
// microseconds since the run began on the monotonic clock, and the outcome of each exchange; one
// JSON object a line, flushed as it is written, so that a run cut short still leaves its log.
class SessionLog {
public:
    // Creates (or empties) the file; false, with error() saying why, when it cannot.
    bool open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }

    void started(const SendOptions& options);
    void wrote(const QByteArray& bytes);
    void read(const QByteArray& bytes);
    void exchanged(const ExchangeReport& report);
    void lineSet(const char* name, bool on); // "dtr" or "rts"
    void breakSent(int ms);
    void ended(const char* how);

    // True once a line could not be written; the rest is not attempted.
    bool failed() const { return !error_.isEmpty(); }
    QString error() const { return error_; }

private:
    void line(QJsonObject object);

    QFile file_;
    QElapsedTimer clock_;
    QString error_;
};

} // namespace kav
