#pragma once

// What the POSIX files of this folder share about terminal devices: which ones are
// pseudo-terminal slaves, and which processes have a device open.

#include <QList>
#include <QString>
#include <chrono>
#include <sys/stat.h>
#include <sys/types.h>

namespace kav {

// Whether a device number is a pseudo-terminal slave (/dev/pts/N). Such a device has no line:
// no rate, no data bits, no modem lines, and whoever holds its master is its far end.
bool isPseudoTerminalSlave(dev_t device);

struct Holder {
    long pid;
    QString name; // the program's name, as /proc/PID/comm gives it
};

// Who has a device open, as far as /proc shows it, each list in process order.
struct Holders {
    // Other processes: the programs that would share the line.
    QList<Holder> others;
    // Other processes that hold the master of the same pseudo-terminal as well: the line's far
    // end, which keeps its slave open to set it up (socat, a device simulator, a test). They
    // are not competitors; they are named only when nobody else can have locked the device.
    QList<Holder> farEnds;
    // Whether this process has it open through a descriptor other than the one left out.
    bool self = false;
    // False when the scan ran out of time (ScanTime) before it had looked at every process.
    bool complete = true;
};

// How long one scan may take: a few thousand processes with a few descriptors each take some
// milliseconds.
constexpr std::chrono::milliseconds ScanTime{500};

// An unprivileged user sees only their own processes' descriptors, so another user's are
// silently missing; where there is no /proc, nobody is found. This process's descriptor
// `ownFd` (the claim's own, or -1) is left out.
Holders holdersOf(const struct stat& device, int ownFd);

// The program name of a process, as shownName shows it, or an empty string when it cannot be
// read.
QString programName(long pid);

// The user's port folder, $XDG_CONFIG_HOME/kavetta/ports (default ~/.config/kavetta/ports).
QString portFolder();

// What a symbolic link holds, as written; empty for anything else.
QString linkText(const QString& path);

// A name another user chose, fit for a terminal and a log line, as ps shows it: control
// characters (C0, DEL, C1), invisible format characters, line and paragraph separators and
// whatever is not UTF-8 are each a '?'.
QString shownName(QByteArrayView name);

// "picocom (process 4242)", a few of them, on one line however many there are.
QString listOf(const QList<Holder>& holders);

} // namespace kav
