#include "ttyscan_posix.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/syscall.h>
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

// Whether descriptor fd of process `pid` (its number as /proc names it) is the master of
// pseudo-terminal `index`. A master is a descriptor of /dev/ptmx (5:2, in /dev or in the devpts
// instance itself); which slave it serves only the kernel's fdinfo says ("tty-index:"). Opening
// /proc/PID/fd/N would make a new pseudo-terminal instead, so that is never done.
bool isMasterOf(int proc, const char* pid, const char* fd, const struct stat& file, long index) {
#if defined(__linux__)
    if (!S_ISCHR(file.st_mode) || major(file.st_rdev) != 5 || minor(file.st_rdev) != 2)
        return false;
    const std::string name = std::string(pid) + "/fdinfo/" + fd;
    const int info = ::openat(proc, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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
    (void)proc, (void)pid, (void)fd, (void)file, (void)index;
    return false;
#endif
}

// How one process stands to the device: whether it has it open, and whether it is the far end.
struct Stand {
    bool holds = false;
    bool farEnd = false;
};

using Clock = std::chrono::steady_clock;

// Calls visit(name) for each entry of the open folder until it returns false; false when it
// did. On Linux the names are listed into a buffer on the stack, a few hundred a call, and the
// call that would return nothing is saved: every file system fills what it is given as far as
// its entries go, so a call that leaves more room than the longest entry needs returned the last.
template <typename Visit> bool eachEntry(int folder, Visit visit) {
#if defined(__linux__)
    alignas(dirent64) char listing[8192];
    constexpr long LongestEntry = long(offsetof(dirent64, d_name)) + 256;
    for (;;) {
        const long got = ::syscall(SYS_getdents64, folder, listing, sizeof listing);
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(listing + at);
            at += entry->d_reclen;
            if (!visit(entry->d_name))
                return false;
        }
        if (got <= 0 || got + LongestEntry <= long(sizeof listing))
            return true;
    }
#else
    DIR* entries = ::fdopendir(::dup(folder));
    bool whole = true;
    while (const dirent* entry = entries ? ::readdir(entries) : nullptr)
        if (!(whole = visit(entry->d_name)))
            break;
    if (entries)
        ::closedir(entries);
    return whole;
#endif
}

// Whether the kernel gives the number of a process's descriptors as the size of its fd folder
// (Linux 6.2 on), so that one stat of the folder tells a process that holds nothing. Root sees
// every process, most of them kernel threads without a descriptor, each of which would cost an
// open, a listing and a close; for another user, the folders of other users' processes refuse
// to open at once, and a stat before would cost a call more. This process has some open, so a
// size of 0 for its own folder says the sizes are not counted.
bool passEmptyFolders(int proc) {
    struct stat own;
    return ::geteuid() == 0 && ::fstatat(proc, "self/fd", &own, 0) == 0 && own.st_size > 0;
}

// How process `pid` stands to the device. A scan costs what its system calls cost, and most
// of them are one for each descriptor of each process, so each descriptor is looked at once,
// by the stat of its link, which gives the device it reaches without opening it; the folder is
// opened from /proc in one step and listed without a directory stream.
Stand standOf(int proc, const char* pid, const struct stat& device, long index, int skipFd,
              bool skipEmpty, Clock::time_point deadline, bool* cut) {
    Stand stand;
    const std::string name = std::string(pid) + "/fd";
    struct stat folder;
    if (skipEmpty && ::fstatat(proc, name.c_str(), &folder, 0) == 0 && folder.st_size == 0)
        return stand;
    const int fdFolder = ::openat(proc, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdFolder < 0) // another user's process, or one that has just ended
        return stand;
    unsigned looked = 0;
    eachEntry(fdFolder, [&](const char* fd) {
        if (++looked % 1024 == 0 && Clock::now() > deadline) {
            *cut = true;
            return false;
        }
        struct stat file;
        if (fd[0] == '.' || std::atoi(fd) == skipFd)
            return true;
        // Whether a process's descriptors may be looked at is the process's to say, not each
        // descriptor's: after one refusal the rest would be refused too, at the same cost.
        if (::fstatat(fdFolder, fd, &file, 0) != 0)
            return errno != EACCES && errno != EPERM;
        if (isDevice(file, device))
            stand.holds = true;
        else if (index >= 0 && isMasterOf(proc, pid, fd, file, index))
            stand.farEnd = true;
        return !(stand.holds && (index < 0 || stand.farEnd));
    });
    ::close(fdFolder);
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
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return found;
    const long me = long(::getpid());
    const long index = slaveIndex(device.st_rdev);
    // Root sees every user's descriptors, and a user may hold a million of them: past its time
    // the scan stops, and what it did not reach is as unseen as another user's is to a user.
    const Clock::time_point deadline = Clock::now() + ScanTime;
    bool cut = false;
    const bool skipEmpty = passEmptyFolders(proc);
    eachEntry(proc, [&](const char* process) {
        char* end = nullptr;
        const long pid = std::strtol(process, &end, 10);
        if (pid <= 0 || *end != '\0')
            return true;
        const Stand stand = standOf(proc, process, device, index, pid == me ? ownFd : -1, skipEmpty,
                                    deadline, &cut);
        if (stand.holds && pid == me)
            found.self = true;
        else if (stand.holds)
            (stand.farEnd ? found.farEnds : found.others).append({pid, programName(pid)});
        return !cut;
    });
    ::close(proc);
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
