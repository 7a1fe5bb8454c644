#pragma once

#include "bytesplitter.h"
#include "codepage.h"
#include "portdevice.h"
#include "portsettings.h"

#include <QLoggingCategory>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <optional>
#include <stdexcept>

namespace kav {

// Why an OPEN failed or an open port was lost, for whoever reads the program's standard error.
Q_DECLARE_LOGGING_CATEGORY(lcPort)

// A failure while configuring or opening the port. Only OPEN catches it.
class CommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The input lines as the far end drives them.
struct InputLines {
    bool cts = false;
    bool dsr = false;
    bool dcd = false;
    bool ri = false;
};

// The serial control the window talks to. Members keep the names the window's handlers use.
// Only the members that configure or open the port throw; everything the other handlers call
// reports trouble through DeviceLost instead, because those handlers have no error trap.
class MSComm : public QObject {
    Q_OBJECT
public:
    static constexpr int ComEvReceive = 2;

    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    int CommPort() const { return commPort_; }
    void setCommPort(int port); // throws CommError for a number that names no port

    QString Settings() const { return settings_; }
    void setSettings(const QString& settings); // throws CommError for a text it cannot apply

    bool NullDiscard() const { return nullDiscard_; }
    void setNullDiscard(bool discard) { nullDiscard_ = discard; }
    int RThreshold() const { return rThreshold_; }
    void setRThreshold(int threshold) { rThreshold_ = threshold; }
    int InputLen() const { return inputLen_; }
    void setInputLen(int length) { inputLen_ = length; }

    int InBufferCount() const;        // characters waiting to be taken by Input, at most MaxWaiting
    void setInBufferCount(int count); // 0 discards whatever waits
    // Whether characters may have arrived that the event loop has not yet taken in: false only
    // when the driver says it holds none.
    bool inputMayWait() const;

    // 0 discards whatever waits to go out, in the serial library and in the driver, so that a
    // message the line would not take cannot follow a later one out.
    void setOutBufferCount(int count);

    // Characters given to Output that have not yet gone out on the line, in the serial library
    // and in the driver.
    int OutBufferCount() const;

    // The modem lines, for whoever drives them by hand; the window leaves them as the driver sets
    // them. Each takes effect at once on an open port and does nothing on a closed one; a port
    // that has none fails them as a lost device would, so ask modemLinesRefusal first.
    void setDTREnable(bool on);
    void setRTSEnable(bool on);
    void setBreak(bool on);
    std::optional<InputLines> inputLines(); // nothing on a closed port
    // What the port is when it cannot do the four above ("a closed port"), or an empty string.
    QString modemLinesRefusal() const;

    // The line errors the driver has counted on the open port so far (see countLineErrors):
    // nothing on a closed port or one that cannot count them.
    std::optional<LineErrors> lineErrors() const;
    // Whether the open port has a line with a rate; a pseudo-terminal has none.
    bool hasLineRate() const;
    // Puts the driver of the open port into its low-latency mode until the port closes, which
    // puts back what was there before, however the program ends the run; a device that is gone
    // has nothing left to put back. Empty, or why the port has no such mode.
    QString lowerLatency();

    bool PortOpen() const;
    void setPortOpen(bool open); // opening throws CommError on failure; closing never fails

    void Output(const CodeString& data); // one byte per single-byte code, in order
    // Output, handed to the system before returning as far as it takes it at once; true when all
    // of it was. Whatever remains goes out from the event loop, and Written follows.
    bool OutputNow(const CodeString& data);
    CodeString Input(); // everything waiting, as codes; never lossy
    int CommEvent() const { return commEvent_; }
    // The device the port was last opened on, as the system names it.
    QString device() const { return device_; }

    // The most characters that wait unread, and the most InBufferCount can count. Whatever
    // arrives beyond it is dropped, as a UART's receive FIFO overruns.
    static constexpr int MaxWaiting = 32767;
    // How long a lead byte that ends a read waits for its trail byte.
    static constexpr int LeadHoldMs = 50;

signals:
    // Raised on the event loop whenever characters have arrived (CommEvent 2).
    void OnComm();
    // The device went away while open (an unplugged adapter): the port is already closed.
    void DeviceLost();
    // Everything Output was given has been handed to the system.
    void Written();
    // A read took bytes off the line, before any is held back or counted: the moment a reply
    // begins, for whoever times it, and the bytes exactly as they came, for whoever frames them.
    void Arrived(const QByteArray& bytes);

private:
    void takeIn();
    void outputTaken();
    void restartReading();
    void raiseReceive();
    void releaseHeldByte();
    void portError(QSerialPort::SerialPortError error);
    void closePort();
    qsizetype keep(QByteArrayView bytes);
    bool applyLine(const LineSettings& line);

    QSerialPort port_;
    // Held exactly while the port is open, so that no other program shares the line.
    DeviceClaim claim_;
    QString device_;   // what the port was last opened on, for the log
    QTimer holdTimer_; // runs only while a lead byte is held back
    ByteSplitter splitter_;
    CodeString waiting_; // received codes not yet taken by Input
    QString settings_ = QString::fromLatin1(DefaultSettings); // the stock value
    LineSettings line_ = *parseSettings(settings_, false);    // what Settings stands for
    bool lossPending_ = false;
    bool latencyToRestore_ = false; // lowerLatency turned the driver's low-latency mode on
    int commPort_ = 1;
    bool nullDiscard_ = false;
    int rThreshold_ = 0;
    int inputLen_ = 0;
    int commEvent_ = 0;
};

// What the OPEN button does with the port name and the settings text, as the operator typed
// them: the number goes to the control whatever the port's state; the settings and the receive
// options only when the port is closed, which it then opens. Throws CommError where OPEN fails.
void openAsOpenButton(MSComm& comm, const QString& portName, const QString& settings);

} // namespace kav
