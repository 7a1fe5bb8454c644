#pragma once

#include "framer.h"
#include "line.h"
#include "responder.h"
#include "timedlog.h"

#include <deque>

namespace kav {

// The stand-in at work on one line: what arrives is framed into requests, each is answered as
// the responder decides, and each reply part leaves when its time comes, to the tenth of a
// millisecond: a timer wakes the program just before, and a sleep to the nanosecond does the
// rest.
class Answerer : public QObject {
    Q_OBJECT
public:
    // `log` may be closed: then nothing is logged.
    Answerer(Line& line, Framer framer, Responder& responder, TimedLog& log, qint64 characterNs);

    // How long a break fault lasts.
    static constexpr int BreakMs = 50;

private:
    struct Job {
        Answer answer;
        int exchange = 0;
        qint64 requestNs = 0; // the request's last byte
        qsizetype next = 0;   // the part to send next
        qint64 previousEndNs = 0;
    };

    void onReceived(const QByteArray& bytes, qint64 atNs);
    void onGap();
    void handle(const Request& request);
    void arm();
    void onDue();
    qint64 dueNs(const Job& job) const;
    void wakeAt(QTimer& timer, qint64 dueNs);

    Line& line_;
    Framer framer_;
    Responder& responder_;
    TimedLog& log_;
    qint64 characterNs_;
    QTimer gapTimer_;
    QTimer dueTimer_;
    std::deque<Job> jobs_;
    qint64 lineFreeNs_ = 0; // when the last part written has left, at the line's rate
    int exchanges_ = 0;
};

} // namespace kav
