#include "ttyscan_posix.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

namespace kav {

namespace {

#if defined(__linux__)
constexpr unsigned FirstSlaveMajor = 136; // the Unix98 slaves' majors, 136 to 143
constexpr unsigned LastSlaveMajor = 143;
constexpr unsigned OldSlaveMajor = 3; // the BSD-style /dev/ttyp*
#endif

// The index N of /dev/pts/N, or -1 for another device.
long slaveIndex(dev_t device) {
#if defined(__linux__)
    const unsigned kind = major(device);
    if (kind >= FirstSlaveMajor && kind <= LastSlaveMajor)
        return long(kind - FirstSlaveMajor) * 256 + long(minor(device));
#else
    (void)device;
#endif
    return -1;
}

// Whether an open file is the device: the same character device, and for a pseudo-terminal
// slave also the same devpts instance, since each instance (one per container) numbers its
// own slaves from 0 and a slave with the same numbers in another instance is another line.
bool isDevice(const struct stat& file, const struct stat& device) {
    if (!S_ISCHR(file.st_mode) || file.st_rdev != device.st_rdev)
        return false;
    if (slaveIndex(device.st_rdev) >= 0)
        return file.st_dev == device.st_dev;
    return true;
}

// Whether descriptor fd of the process whose /proc folder is open as procFd is the master of
// pseudo-terminal `index`. A master is a descriptor of /dev/ptmx (5:2, in /dev or in the
// devpts instance itself); which slave it serves only the kernel's fdinfo says ("tty-index:").
// Opening /proc/PID/fd/N would make a new pseudo-terminal instead, so that is never done.
bool isMasterOf(int procFd, const char* fd, const struct stat& file, long index) {
#if defined(__linux__)
    if (!S_ISCHR(file.st_mode) || major(file.st_rdev) != 5 || minor(file.st_rdev) != 2)
        return false;
    const std::string name = std::string("fdinfo/") + fd;
    const int info = ::openat(procFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (info < 0)
        return false;
    char text[512];
    const ssize_t n = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (n <= 0)
        return false;
    text[n] = '\0';
    const char* at = std::strstr(text, "tty-index:");
    return at && std::strtol(at + 10, nullptr, 10) == index;
#else
    (void)procFd, (void)fd, (void)file, (void)index;
    return false;
#endif
}

// How one process stands to the device: whether it has it open, and whether it is the far end.
struct Stand {
    bool holds = false;
    bool farEnd = false;
};

using Clock = std::chrono::steady_clock;

Stand standOf(int procFd, const struct stat& device, long index, int skipFd,
              Clock::time_point deadline, bool* cut) {
    Stand stand;
    const int fdFolder = ::openat(procFd, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* descriptors = fdFolder >= 0 ? ::fdopendir(fdFolder) : nullptr;
    if (!descriptors) { // another user's process, or one that has just ended
        if (fdFolder >= 0)
            ::close(fdFolder);
        return stand;
    }
    unsigned looked = 0;
    while (const dirent* fd = ::readdir(descriptors)) {
        if (++looked % 1024 == 0 && Clock::now() > deadline) {
            *cut = true;
            break;
        }
        struct stat file;
        if (fd->d_name[0] == '.' || std::atoi(fd->d_name) == skipFd ||
            ::fstatat(fdFolder, fd->d_name, &file, 0) != 0)
            continue;
        if (isDevice(file, device))
            stand.holds = true;
        else if (index >= 0 && isMasterOf(procFd, fd->d_name, file, index))
            stand.farEnd = true;
        if (stand.holds && (index < 0 || stand.farEnd))
            break;
    }
    ::closedir(descriptors);
    return stand;
}

} // namespace

bool isPseudoTerminalSlave(dev_t device) {
#if defined(__linux__)
    if (major(device) == OldSlaveMajor)
        return true;
#endif
    return slaveIndex(device) >= 0;
}

QString shownName(QByteArrayView name) {
    QString shown = QString::fromUtf8(name);
    for (QChar& c : shown) {
        switch (c.category()) {
        case QChar::Other_Control:       // C0, DEL and C1: escapes, bells, line breaks
        case QChar::Other_Format:        // direction overrides, invisible joiners
        case QChar::Other_Surrogate:     // half of a pair
        case QChar::Separator_Line:      // breaks a line all the same
        case QChar::Separator_Paragraph: // likewise
            c = QLatin1Char('?');
            break;
        default:
            if (c == QChar::ReplacementCharacter) // a byte that is no UTF-8
                c = QLatin1Char('?');
            break;
        }
    }
    return shown;
}

QString programName(long pid) {
    // Any user can give a process any name of 15 bytes (prctl PR_SET_NAME), escapes included.
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    QByteArray name = comm.read(64);
    if (name.endsWith('\n')) // the kernel's own
        name.chop(1);
    return shownName(name);
}

Holders holdersOf(const struct stat& device, int ownFd) {
    Holders found;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return found;
    const long me = long(::getpid());
    const long index = slaveIndex(device.st_rdev);
    // Root sees every user's descriptors, and a user may hold a million of them: past its time
    // the scan stops, and what it did not reach is as unseen as another user's is to a user.
    const Clock::time_point deadline = Clock::now() + ScanTime;
    bool cut = false;
    while (!cut) {
        const dirent* process = ::readdir(proc);
        if (!process)
            break;
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const int procFd =
            ::openat(::dirfd(proc), process->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (procFd < 0)
            continue;
        const Stand stand = standOf(procFd, device, index, pid == me ? ownFd : -1, deadline, &cut);
        ::close(procFd);
        if (!stand.holds)
            continue;
        if (pid == me)
            found.self = true;
        else
            (stand.farEnd ? found.farEnds : found.others).append({pid, programName(pid)});
    }
    ::closedir(proc);
    found.complete = !cut;
    for (QList<Holder>* list : {&found.others, &found.farEnds})
        std::sort(list->begin(), list->end(),
                  [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return found;
}

QString linkText(const QString& path) {
    char buffer[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length > 0 && size_t(length) < sizeof buffer
               ? QFile::decodeName(QByteArray(buffer, length))
               : QString();
}

QString listOf(const QList<Holder>& holders) {
    constexpr qsizetype Named = 4;
    QStringList names;
    for (const Holder& holder : holders.first(std::min(Named, holders.size()))) {
        const QString process = QStringLiteral("process ") + QString::number(holder.pid);
        names << (holder.name.isEmpty() ? process : holder.name + " (" + process + ')');
    }
    QString list = names.join(QStringLiteral(", "));
    if (holders.size() > Named)
        list += QStringLiteral(" and %1 more").arg(holders.size() - Named);
    return list;
}

} // namespace kav
