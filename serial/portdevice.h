#pragma once

#include "portsettings.h"
#include "wire.h"

#include <QByteArrayView>
#include <QSerialPort>
#include <QString>
#include <optional>

namespace kav {

// What differs between platforms in reaching a serial port, and nothing else.
//
// Windows: portdevice_windows.cpp. POSIX systems: portdevice_posix.cpp names the devices and
// answers the small questions about an open port; deviceclaim_posix.cpp holds the device claim;
// linecheck_posix.cpp reads back what the driver took of the line settings; ttyscan_posix.*
// tell a pseudo-terminal and find the processes that have a device open.

// The device that port number n names on this platform, or an empty string when n names no
// port.
//
// Windows: COMn. Linux and other POSIX systems: the entry comN of the user's port folder,
// $XDG_CONFIG_HOME/kavetta/ports (default ~/.config/kavetta/ports), when it exists (normally a
// symbolic link to the device; a link to nothing still counts, so that opening it fails rather
// than silently reaching another device); otherwise /dev/ttyS(n-1), as COM1 is the first serial
// port. Looking up a number from 3 up that has no entry first numbers the USB adapters that
// have none (numberNewAdapters), so that an adapter plugged in is reached as Windows would.
QString portDevice(int n);

// The device to open for what portDevice gave. A port-folder entry that is a link gives the
// device it names, so that the device's own lock is the one taken, as every other program does;
// an entry that holds a USB adapter's identity (see numberNewAdapters) gives that adapter's
// device wherever the kernel put it this time. An empty string, with *why saying so, when the entry
// points at nothing or is no device at all.
QString deviceToOpen(const QString& entry, QString* why);

// Whether the platform's serial devices can be set to 1.5 stop bits. POSIX termios has no such
// setting (the serial library would quietly use one stop bit instead), so there it is refused.
bool hasOneAndHalfStopBits();

// The latency timer of the USB adapter behind a device, in milliseconds: how long the adapter
// holds back a short read before it hands it over (16 by default on FTDI chips), so that every
// reply time may include up to that much of the adapter's own delay. Nothing where the device has
// none or it cannot be read. POSIX: the usb-serial driver's latency_timer under `sysRoot`
// (/sys/bus/usb-serial/devices/<tty>/latency_timer). Windows: the FTDI driver's LatencyTimer in
// the registry for the adapter whose PortName is the device.
std::optional<int> adapterLatencyMs(const QString& device,
                                    const QString& sysRoot = QStringLiteral("/sys"));

// Whether the driver takes at least one byte from a write on this open port now. POSIX: a
// non-blocking poll. Windows writes overlapped and never refuses a write for want of room.
bool canWriteNow(const QSerialPort& port);

// Hands bytes straight to the driver of this open port, without the serial library's buffer and
// the turn of the event loop it would take to write it: the count the driver took now, 0 when it
// took nothing (full, or failing, which the library then finds and reports in its own write).
// POSIX: one non-blocking write. Windows writes overlapped only through the library, so there
// it takes nothing.
qint64 writeNow(const QSerialPort& port, QByteArrayView bytes);

// Why the driver of this open port has not taken the line as asked, or an empty string when it
// has. A driver may quietly keep another setting than the one asked for: Linux's 8250 clips a
// rate beyond its UART's clock to the fastest it has, ftdi_sio keeps the old data bits for six.
// A pseudo-terminal, which has no line, takes anything. Windows refuses such a setting when it is
// made, so there this is always empty.
QString lineRefusal(const QSerialPort& port, const LineSettings& line);

// What this open port is, when it cannot set DTR and RTS, send a break or report its input lines
// ("a pseudo-terminal, which has ..."), or an empty string when it can. A pseudo-terminal has none
// of them, and takes a break without a word, so it is named as such rather than seeming to work.
// Windows: the port's modem status cannot be read.
QString modemLinesRefusal(const QSerialPort& port);

// Characters the driver of this open port has taken but not yet handed to the hardware. A break
// started while any wait would swallow them: the UART goes on shifting them out into the break.
// POSIX: TIOCOUTQ, which a pseudo-terminal answers with 0 at once. Windows: ClearCommError's
// output count.
qint64 driverOutputPending(const QSerialPort& port);

// Characters the driver of this open port has received that the serial library has not yet
// read, or -1 where that cannot be told. POSIX: FIONREAD. Windows: -1.
qint64 driverInputPending(const QSerialPort& port);

// Whether the port has a line with a rate, on which a character takes its time. A
// pseudo-terminal has none: it passes whatever it is given at once.
bool hasLineRate(const QSerialPort& port);

// The line errors the driver of this open port has counted so far, into *counts; false where
// the port cannot count them. Linux: the driver's own counters (TIOCGICOUNT), which a
// pseudo-terminal does not have, and which need no marking of the bad characters in the data.
// Windows: ClearCommError's error flags, each flag found adding 1 to a count this program keeps
// for the port (the flags are cleared as they are read, so at most one of each between two
// readings).
bool countLineErrors(const QSerialPort& port, LineErrors* counts);

// The driver's low-latency mode on this open port (Linux: ASYNC_LOW_LATENCY, through
// TIOCGSERIAL and TIOCSSERIAL, which any user who may open the port may set; ftdi_sio makes it a
// latency timer of 1 ms). lowLatency gives whether it is on, or nothing with *why saying why the
// port has no such mode; setLowLatency sets it, or says why not. Windows asks no driver for it:
// an FTDI adapter's latency timer is a setting of its driver, made in the Device Manager.
std::optional<bool> lowLatency(const QSerialPort& port, QString* why);
QString setLowLatency(const QSerialPort& port, bool on);

// Whether the device behind this open port is still there after the serial library reported
// an error on it. Another program that reads the same device (one the claim could not see,
// another user's) can take the bytes between the library's wait and its read, which it reports
// as a read error; the device has not gone for that. POSIX: not hung up and still a terminal.
// Windows never shares a port, so there every error is taken as the device gone.
bool deviceStillThere(const QSerialPort& port);

// Whether the serial library's reading must be restarted by hand after opening and after each
// read (see MSComm::restartReading). True only under Wine.
bool readingNeedsRestart();

// This program's hold on a serial device, taken before the serial library opens it and kept
// while the port is open. On POSIX systems the serial library's own lock file keeps off only the
// programs that honour it: a terminal program that opens the device plainly, or holds an
// advisory flock(2) on it as many do, would otherwise share the line and take the replies. Here
// the device is refused while another process has it open or locked, and is locked in turn for
// as long as the claim is held. Windows never lets a COM port be opened twice, so there a claim
// holds nothing and is always granted.
class DeviceClaim {
public:
    DeviceClaim() = default;
    ~DeviceClaim() { release(); }
    DeviceClaim(const DeviceClaim&) = delete;
    DeviceClaim& operator=(const DeviceClaim&) = delete;

    // Claims device (as deviceToOpen gave it) without changing anything on its line. False, with
    // *why saying which programs have it where the system tells, when another program does, or
    // when the device's lock entry refuses it (POSIX: a live lock, or anything in the lock folder
    // under its name that is not a small regular file). A claim already held is released first.
    //
    // POSIX: the claim takes the device's UUCP lock itself (LCK..<dev>, in the form Qt and the
    // HDB programs both read) and keeps it while it is held, because the lock folder is writable
    // by every user and the serial library would read whatever stands there with a plain
    // blocking read of any size.
    bool take(const QString& device, QString* why);
    // The name the serial library is to open the claimed device by. POSIX: a path to the same
    // device made unguessable with a random run of "." and empty components, so that the lock
    // entry the library derives from it can never have been planted. Windows: the device.
    QString libraryName() const { return libraryName_; }
    // Lets go of the device; harmless when nothing is held.
    void release();

private:
    bool takeLock(const QString& device, QString* why); // POSIX: the UUCP lock entry

    int fd_ = -1;     // POSIX: the descriptor that carries the lock
    int lockFd_ = -1; // POSIX: the lock entry this claim made, flock()ed while it is held
    QString lockEntry_;
    QString libraryName_;
};

} // namespace kav
