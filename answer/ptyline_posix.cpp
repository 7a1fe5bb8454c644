#include "line.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kav {

namespace {

constexpr int HangUpWaitMs = 30; // how often to look for a program while nobody has the line

QString errnoText() {
    return qt_error_string(errno);
}

} // namespace

PtyLine::PtyLine() {
    hangUpWait_.setSingleShot(true);
    hangUpWait_.setInterval(HangUpWaitMs);
    connect(&hangUpWait_, &QTimer::timeout, this, [this] { readNotifier_->setEnabled(true); });
}

PtyLine::~PtyLine() {
    if (master_ < 0)
        return;
    // Only while the link is still ours: another program may have put its own there since.
    if (QFile::symLinkTarget(link_) == slaveName_)
        QFile::remove(link_);
    ::close(master_);
}

bool PtyLine::open(const QString& link, QString* why) {
    char name[256] = {};
    int slave = -1;
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        *why = QStringLiteral("no pseudo-terminal: ") + errnoText();
        master_ = -1;
        return false;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    slaveName_ = QString::fromLocal8Bit(name);

    const QByteArray linkName = QFile::encodeName(link);
    struct stat info {};
    const bool failed = [&] {
        if (::lstat(linkName.constData(), &info) == 0 && !S_ISLNK(info.st_mode)) {
            *why = link + QStringLiteral(" exists and is not a link; left alone");
            return true;
        }
        const QString folder = QFileInfo(link).absolutePath();
        if (!QDir().mkpath(folder)) {
            *why = QStringLiteral("cannot make ") + folder;
            return true;
        }
        // Made beside it and renamed into place, so that no program ever finds half a link.
        const QByteArray temporary = linkName + ".new." + QByteArray::number(::getpid());
        ::unlink(temporary.constData());
        if (::symlink(name, temporary.constData()) != 0 ||
            ::rename(temporary.constData(), linkName.constData()) != 0) {
            *why = QStringLiteral("cannot link %1: %2").arg(link, errnoText());
            ::unlink(temporary.constData());
            return true;
        }
        return false;
    }();
    if (failed) {
        ::close(master_);
        master_ = -1;
        return false;
    }
    link_ = link;
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyLine::takeIn);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyLine::writePending);
    return true;
}

void PtyLine::takeIn() {
    char buffer[4096];
    for (;;) {
        const qint64 at = nowNs();
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, qsizetype(n)), at);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EIO) {
            // Nobody has the slave open; the next program that opens it is served after the
            // wait. A reply that was still to go has nobody to hear it.
            pending_.clear();
            writeNotifier_->setEnabled(false);
            readNotifier_->setEnabled(false);
            hangUpWait_.start();
        }
        return;
    }
}

void PtyLine::write(const QByteArray& bytes) {
    pending_ += bytes;
    writePending();
}

void PtyLine::writePending() {
    while (!pending_.isEmpty()) {
        const ssize_t n = ::write(master_, pending_.constData(), size_t(pending_.size()));
        if (n > 0) {
            pending_.remove(0, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        pending_.clear(); // EIO: the program closed the port; like a line nobody listens to
    }
    writeNotifier_->setEnabled(!pending_.isEmpty());
}

void PtyLine::sendBreak(int) {}

} // namespace kav
