// A virtual serial device for trying the program without hardware: a pseudo-terminal whose slave
// side is linked as <folder>/comN (N is 1 unless given), so that the program opens it as port N
// when its port folder is <folder>. Every chunk the program sends comes back after about 0.3 s,
// as from a device that answers with an echo.
//
// It runs until it is told to stop (SIGTERM, SIGINT, SIGHUP) or its parent process ends, and
// then removes its link. Idle with the port open, it sleeps in one poll with no timeout; with
// nobody on the line it looks again every 30 ms, and uses next to no CPU either way.
//
//   kavetta-vdevice FOLDER [PORT]

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr long EchoDelayMs = 300;
constexpr size_t MaxPending = 64 * 1024; // beyond this, a program that never reads loses echoes
constexpr long HangUpPollMs = 30; // how often to look for a program while nobody has the line

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

long long nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

struct Chunk {
    long long due; // when it goes back, in milliseconds of the monotonic clock
    std::string bytes;
};

bool makeFolder(const std::string& folder) {
    std::string path;
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        path = folder.substr(0, at);
        if (!path.empty() && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Points `link` at `target`, replacing an earlier link but never anything else.
bool placeLink(const std::string& target, const std::string& link) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        std::fprintf(stderr, "kavetta-vdevice: %s exists and is not a link; left alone\n",
                     link.c_str());
        return false;
    }
    const std::string temporary = link + ".new." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "kavetta-vdevice: cannot link %s: %s\n", link.c_str(),
                     std::strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it is still ours.
void removeLink(const std::string& target, const std::string& link) {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    if (n > 0 && std::string(buffer.data(), size_t(n)) == target)
        unlink(link.c_str());
}

// The signals that stop the device are blocked except while it waits, so none is lost between
// the check of stopRequested and the wait; returns the mask to wait with.
sigset_t takeStopSignals() {
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stopSignals, sig);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return waitMask;
}

struct Line {
    int master = -1;
    std::string name;
};

// A raw pseudo-terminal whose slave nobody holds, as a real device's is until a program opens
// it: the program refuses a device that another process has open, so this one must not keep it.
// Between programs the master reports a hang-up, which serve waits out.
bool openLine(Line& line) {
    char name[256] = {};
    int slave = -1;
    if (openpty(&line.master, &slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "kavetta-vdevice: no pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    close(slave);
    fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
    fcntl(line.master, F_SETFD, FD_CLOEXEC);
    line.name = name;
    return true;
}

// What the program sent, waiting to go back once its time has come.
class Echo {
public:
    explicit Echo(int master) : master_(master) {}

    // Sends back what is due, in order. False on a failure of the line; `blocked` tells
    // whether the line took less than was due.
    bool sendDue(bool& blocked) {
        blocked = false;
        const long long now = nowMs();
        while (!pending_.empty() && pending_.front().due <= now) {
            Chunk& chunk = pending_.front();
            const ssize_t n = write(master_, chunk.bytes.data(), chunk.bytes.size());
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    blocked = true;
                    return true;
                }
                if (errno == EIO) {
                    // The program closed the port before its echo came: like a real device's
                    // answer on a line nobody listens to, it is gone.
                    pending_.clear();
                    pendingBytes_ = 0;
                    return true;
                }
                std::fprintf(stderr, "kavetta-vdevice: write: %s\n", std::strerror(errno));
                return false;
            }
            pendingBytes_ -= size_t(n);
            chunk.bytes.erase(0, size_t(n));
            if (!chunk.bytes.empty()) {
                blocked = true;
                return true;
            }
            pending_.pop_front();
        }
        return true;
    }

    // How long to wait for the next echo, or null to wait until something happens.
    timespec* timeout(timespec& wait) const {
        if (pending_.empty())
            return nullptr;
        const long long ms = pending_.front().due - nowMs();
        wait.tv_sec = ms > 0 ? ms / 1000 : 0;
        wait.tv_nsec = ms > 0 ? (ms % 1000) * 1000000 : 0;
        return &wait;
    }

    enum class Taken { Ok, HungUp, Failed };

    // Takes what the program sent. HungUp once it has read everything a program that closed the
    // port had sent.
    Taken takeIn() {
        char buffer[4096];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) {
            if (pendingBytes_ + size_t(n) <= MaxPending) {
                pending_.push_back({nowMs() + EchoDelayMs, std::string(buffer, size_t(n))});
                pendingBytes_ += size_t(n);
            }
        } else if (n < 0 && errno == EIO) {
            return Taken::HungUp;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            std::fprintf(stderr, "kavetta-vdevice: read: %s\n", std::strerror(errno));
            return Taken::Failed;
        }
        return Taken::Ok;
    }

private:
    int master_;
    std::deque<Chunk> pending_;
    size_t pendingBytes_ = 0;
};

// Nobody has the slave open: the master keeps reporting a hang-up, so polling it would spin.
// Sleeps briefly instead (a stop signal ends the sleep at once) and then looks again, which is
// how the next program that opens the slave is served.
void waitOutHangUp(const sigset_t& waitMask) {
    const timespec pause{0, HangUpPollMs * 1000000};
    ppoll(nullptr, 0, &pause, &waitMask);
}

// Echoes until told to stop; the exit status.
int serve(int master, const sigset_t& waitMask) {
    Echo echo(master);
    while (!stopRequested) {
        bool blocked = false;
        if (!echo.sendDue(blocked))
            return 1;
        pollfd p{master, short(POLLIN | (blocked ? POLLOUT : 0)), 0};
        timespec wait{};
        const int ready = ppoll(&p, 1, blocked ? nullptr : echo.timeout(wait), &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "kavetta-vdevice: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (ready == 0)
            continue;
        if (!(p.revents & POLLIN)) {
            if (p.revents & (POLLERR | POLLNVAL)) {
                std::fprintf(stderr, "kavetta-vdevice: the line broke\n");
                return 1;
            }
            if (p.revents & POLLHUP)
                waitOutHangUp(waitMask);
            continue;
        }
        switch (echo.takeIn()) {
        case Echo::Taken::Ok:
            break;
        case Echo::Taken::HungUp:
            waitOutHangUp(waitMask);
            break;
        case Echo::Taken::Failed:
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kavetta-vdevice FOLDER [PORT]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int port = argc == 3 ? std::atoi(argv[2]) : 1;
    if (port <= 0) {
        std::fprintf(stderr, "kavetta-vdevice: the port number must be 1 or more\n");
        return 2;
    }

    // Stop with the parent, even if it dies without a word. The parent may already be gone.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        return 0;
    const sigset_t waitMask = takeStopSignals();

    Line line;
    if (!openLine(line))
        return 1;
    const std::string link = folder + "/com" + std::to_string(port);
    if (!makeFolder(folder)) {
        std::fprintf(stderr, "kavetta-vdevice: cannot make %s\n", folder.c_str());
        return 1;
    }
    if (!placeLink(line.name, link))
        return 1;
    std::fprintf(stderr, "kavetta-vdevice: COM%d is %s (echo after %ld ms)\n", port,
                 line.name.c_str(), EchoDelayMs);

    const int status = serve(line.master, waitMask);
    removeLink(line.name, link);
    close(line.master);
    return status;
}
