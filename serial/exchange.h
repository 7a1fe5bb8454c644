#pragma once

#include "mscomm.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <optional>

namespace kav {

// When each part of an exchange happened, in nanoseconds on the monotonic clock from the moment
// its message began to be written; -1 for a moment that did not come or could not be seen.
struct ExchangeTiming {
    qint64 handedNs = -1; // the last byte handed to the driver
    // The driver's output queue found empty after that: the message has left the driver, though
    // a UART's FIFO or an adapter's buffer may still hold its last characters.
    qint64 goneNs = -1;
    qint64 firstNs = -1; // the reply's first byte read
    qint64 lastNs = -1;  // the reply's last byte read
    // The reply began before the message could have crossed the line at its rate
    // (impossibleReply); never on a port without a line rate.
    bool impossible = false;

    // The far end's own time: from the message gone to the reply's first byte.
    std::optional<qint64> turnaroundNs() const {
        return goneNs >= 0 && firstNs >= 0 ? std::optional<qint64>(firstNs - goneNs) : std::nullopt;
    }
};

// One message out and the reply back, timed from the moment the system has taken the message to
// the first byte read. The reply ends after a quiet spell, when it grows to ReplyLimit, or soon
// after it is exactly the reply expected (see afterMatchMs).
struct ExchangeResult {
    enum class Outcome { Replied, NoReply, NotWritten, DeviceLost, Stopped };
    Outcome outcome = Outcome::NoReply;
    qint64 replyNs = 0;     // meaningful for Replied only
    CodeString reply;       // what arrived, as codes
    bool cut = false;       // the reply went on past ReplyLimit and was cut there
    bool lost = false;      // the device went away after the reply had begun: the run ends here
    qsizetype leftOver = 0; // characters that came after the previous reply: not counted
    ExchangeTiming timing;
    // What the driver counted on the line from the write's start to the exchange's end;
    // nothing where the port cannot count (a pseudo-terminal) or the device went away.
    std::optional<LineErrors> errors;
};

// Exchanges on one open port, one after the other, with pauses between them. Once the device is
// lost, every later exchange or pause ends at once.
class Exchanger : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype ReplyLimit = MSComm::MaxWaiting;

    // comm must be open with a receive threshold of 1, and stay open with the same settings.
    explicit Exchanger(MSComm& comm);

    // How long a message of `characters` may take to be handed to the system at `baudRate`:
    // twice the time the line needs for it (12 bits a character, the most a character takes),
    // and two seconds more for the system; an hour at the most.
    static int writeLimitMs(qsizetype characters, qint32 baudRate);

    // How long a reply that is exactly the one expected is still listened to, at most (the quiet
    // spell when shorter), so that a byte more makes it different however the bytes were read:
    // the default latency timer of a USB adapter (16 ms on FTDI chips) with some room, and four
    // characters at the line's rate and framing.
    static constexpr int AfterMatchMarginMs = 20;
    static constexpr int AfterMatchCharacters = 4;
    static int afterMatchMs(const LineSettings& line);

    // `expected`, when given, are the bytes of a reply that ends the exchange as soon as they
    // have all come, without waiting for the quiet spell.
    ExchangeResult exchange(const CodeString& message, int waitMs, int quietMs,
                            const std::optional<QByteArray>& expected = std::nullopt);
    // Waits `ms` between exchanges; whatever arrives meanwhile is counted and dropped. False when
    // the device was lost (or stop was called) before or during the pause.
    bool pause(int ms);
    // A break of `ms` on the line, once what was written before it has gone out (or has had the
    // time the baud rate gives it). False as pause is.
    bool sendBreak(int ms);
    bool lost() const { return lost_; }
    // The line errors counted since this exchanger was made, in the exchanges and between them;
    // nothing where the port cannot count them.
    std::optional<LineErrors> lineErrorTotal();
    // Ends the exchange or pause under way at once (the operator pressed Ctrl+C).
    void stop();

signals:
    // The message, once the system has taken all of it.
    void wrote(const QByteArray& bytes);
    // Each chunk taken from the control, in an exchange or between two.
    void read(const QByteArray& bytes);

private:
    enum class Phase { Idle, Exchanging };

    void onWritten();
    void onArrived();
    void onComm();
    void onDeviceLost();
    void onDeadline();
    void onQuiet();
    void takeReply(const CodeString& codes);
    void finish(ExchangeResult::Outcome outcome);
    void checkGone();
    std::optional<LineErrors> countErrors();

    MSComm& comm_;
    LineSettings line_;
    qint32 baudRate_;
    bool hasLineRate_;
    Phase phase_ = Phase::Idle;
    QEventLoop* loop_ = nullptr; // the pause's, while one runs
    QTimer deadline_;            // the write, then the first byte
    QTimer quiet_;               // the spell of silence that ends the reply
    QTimer drain_;               // the next look at the driver's output queue
    QElapsedTimer clock_;        // from the write's start
    qint64 queuedSeenNs_ = 0;    // when the output queue was last seen to hold some
    int waitMs_ = 0;
    int quietMs_ = 0;
    QByteArray message_;
    std::optional<QByteArray> expected_;
    qsizetype expectedAt_ = 0; // reply bytes so far that agree with the expected ones
    bool agrees_ = true;       // false once a reply byte differs from the expected one
    bool written_ = false;
    bool started_ = false;
    bool finished_ = false;
    bool lost_ = false;
    bool stopped_ = false;
    ExchangeResult result_;
    qsizetype droppedSince_ = 0;                       // characters taken between exchanges
    std::optional<LineErrors> firstCount_, lastCount_; // the driver's counters
    bool countable_ = true;
};

} // namespace kav
