#pragma once

// The far end of the line in tests: a real pseudo-terminal pair. The program opens the slave
// side through a port-folder entry, exactly as it would open a real adapter; the test talks on
// the master side.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/times.h>
#include <termios.h>
#include <unistd.h>

namespace kavtest {

// $XDG_CONFIG_HOME/kavetta/ports; the test points XDG_CONFIG_HOME at a folder of its own first.
inline QString portsFolder() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/kavetta/ports");
}

inline QString portEntry(int n) {
    return portsFolder() + QStringLiteral("/com%1").arg(n);
}

// Makes port entry n a symbolic link to target (which need not exist).
inline bool linkPort(int n, const QString& target) {
    QDir().mkpath(portsFolder());
    const QByteArray entry = QFile::encodeName(portEntry(n));
    ::unlink(entry.constData());
    return ::symlink(QFile::encodeName(target).constData(), entry.constData()) == 0;
}

inline void unlinkPort(int n) {
    ::unlink(QFile::encodeName(portEntry(n)).constData());
}

struct Pty {
    int master = -1;
    QString slaveName;

    Pty() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios tio;
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        // Like a real adapter, nobody holds the device open until the program does.
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        // A program the test starts must not hold the far end too: closing it is the unplug.
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        slaveName = QString::fromLocal8Bit(name);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master >= 0; }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    bool write(const QByteArray& bytes) const {
        return ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // The slave's line settings, as whoever opened it set them.
    termios settings() const {
        termios tio{};
        ::tcgetattr(master, &tio);
        return tio;
    }
    // Reads until `count` bytes came or the time is up, letting the program's event loop run
    // meanwhile (its writes go out from there).
    QByteArray read(qsizetype count, int timeoutMs = 5000) const {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
            else
                QTest::qSleep(2);
        }
        return got;
    }
    // True when the slave side is no longer held open by anyone (reading the master then
    // reports a hang-up).
    bool slaveClosed() const {
        pollfd p{master, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }
};

// CPU time this process has used, in clock ticks.
inline long cpuTicks() {
    tms t;
    ::times(&t);
    return long(t.tms_utime + t.tms_stime);
}

} // namespace kavtest
