#pragma once

#include <QSerialPort>
#include <QString>

namespace kav {

// What differs between platforms in reaching a serial port, and nothing else.

// The device that port number n names on this platform, or an empty string when n names no
// port.
//
// Windows: COMn. Linux and other POSIX systems: the entry comN of the user's port folder,
// $XDG_CONFIG_HOME/kavetta/ports (default ~/.config/kavetta/ports), when it exists (normally a
// symbolic link to the device; a link to nothing still counts, so that opening it fails rather
// than silently reaching another device); otherwise /dev/ttyS(n-1), as COM1 is the first serial
// port.
QString portDevice(int n);

// The device to open for what portDevice gave. A port-folder entry that is a link gives the
// device it names, so that the device's own lock is the one taken, as every other program does.
// An empty string, with *why saying so, when the entry points at nothing or is no device at all.
QString deviceToOpen(const QString& entry, QString* why);

// Whether the platform's serial devices can be set to 1.5 stop bits. POSIX termios has no such
// setting (the serial library would quietly use one stop bit instead), so there it is refused.
bool hasOneAndHalfStopBits();

// Whether the driver takes at least one byte from a write on this open port now. POSIX: a
// non-blocking poll. Windows writes overlapped and never refuses a write for want of room.
bool canWriteNow(const QSerialPort& port);

// Whether the serial library's reading must be restarted by hand after opening and after each
// read (see MSComm::restartReading). True only under Wine.
bool readingNeedsRestart();

} // namespace kav
