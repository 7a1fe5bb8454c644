#pragma once

#include "mscomm.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>

namespace kav {

// Nanoseconds on the monotonic clock every time in the program is read from.
inline qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The line the stand-in answers on.
class Line : public QObject {
    Q_OBJECT
public:
    // Hands the bytes to the system at once, as far as it takes them; the rest follows from the
    // event loop.
    virtual void write(const QByteArray& bytes) = 0;
    // A break of `ms` on the line; a pseudo-terminal has none and takes it without a word.
    virtual void sendBreak(int ms) = 0;

signals:
    // Bytes as they came, and when the read took them.
    void received(const QByteArray& bytes, qint64 atNs);
    // The line is gone (an adapter pulled out); nothing more can be done on it.
    void lost();
};

// A serial port as the window and kavetta-send open it.
class SerialLine : public Line {
    Q_OBJECT
public:
    SerialLine();
    // OPEN's own refusals: throws CommError.
    void open(const QString& port, const QString& settings);
    void write(const QByteArray& bytes) override;
    void sendBreak(int ms) override;
    QString device() const { return comm_.device(); }

private:
    MSComm comm_;
};

#ifndef Q_OS_WIN
// A pseudo-terminal whose master this program holds and whose slave is linked where the window
// or kavetta-send looks for a port. The slave is not kept open: a program refuses a device that
// another process has open, as a real device's is not until a program opens it.
class PtyLine : public Line {
    Q_OBJECT
public:
    PtyLine();
    ~PtyLine() override;
    // False, with *why, when there is no pseudo-terminal or the link cannot be made; an entry
    // at `link` that is not a link is left alone.
    bool open(const QString& link, QString* why);
    void write(const QByteArray& bytes) override;
    void sendBreak(int ms) override;
    QString device() const { return slaveName_; }

private:
    void takeIn();
    void writePending();

    int master_ = -1;
    QString slaveName_;
    QString link_;
    QByteArray pending_; // what the master has not yet taken
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer hangUpWait_; // nobody has the slave open: the master would report a hang-up at once
};
#endif

} // namespace kav
