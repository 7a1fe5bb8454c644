#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>

namespace kav {

// A session log: every byte written and read, in the order they passed, each chunk stamped with
// the microseconds since the run began on the monotonic clock, and whatever else the program
// records; one JSON object a line, flushed as it is written, so that a run cut short still leaves
// its log. kavetta-send and kavetta-answer write the same lines, so one reads the other's.
class TimedLog {
public:
    // Creates (or empties) the file; false, with error() saying why, when it cannot.
    bool open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }

    void wrote(const QByteArray& bytes);
    void read(const QByteArray& bytes);
    void lineSet(const char* name, bool on); // "dtr" or "rts"
    void breakSent(int ms);
    void ended(const char* how);
    // Any other event, stamped like the rest.
    void line(QJsonObject object);

    // True once a line could not be written; the rest is not attempted.
    bool failed() const { return !error_.isEmpty(); }
    QString error() const { return error_; }

private:
    QFile file_;
    QElapsedTimer clock_;
    QString error_;
};

} // namespace kav
