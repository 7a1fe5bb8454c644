#include "console.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kav {

namespace {

bool closedAtStart[3] = {};
int outputErrno = 0;

// 0 when all of it was written, else the errno of the failure.
int writeAll(int fd, const QString& text) {
    if (fd < 3 && closedAtStart[fd])
        return EBADF;
    const QByteArray bytes = text.toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

volatile std::sig_atomic_t interruptSeen = 0;

void noteInterrupt(int) {
    interruptSeen = 1;
}

} // namespace

void holdStandardStreams() {
    // A reader that goes away (| head) makes a write fail with EPIPE, which ends the run through
    // its write-error path, with the port closed and its lock removed, instead of killing it.
    std::signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one, as the lower ones are taken.
        closedAtStart[fd] = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) == fd;
    }
}

bool writeOut(const QString& text) {
    outputErrno = writeAll(STDOUT_FILENO, text);
    return outputErrno == 0;
}

void writeErr(const QString& text) {
    writeAll(STDERR_FILENO, text);
}

QString outputError() {
    return qt_error_string(outputErrno);
}

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return interruptSeen != 0;
}

} // namespace kav
