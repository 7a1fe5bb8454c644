// kavetta-send over a long run: its peak resident size and its pace against a far end on a
// pseudo-terminal that answers every message at once with 1,000 characters. With --expect the
// reply ends as soon as it is complete; without it, after the quiet spell.
//
//   bench_soak [--smoke] [--program KAVETTA-SEND]

#include "ptyfixture.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

using namespace kavtest;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr int ReplyLength = 1000;

// Answers every byte it reads with the whole reply.
class FarEnd {
public:
    explicit FarEnd(const Pty& pty) : pty_(pty) {
        thread_ = std::thread([this] { run(); });
    }
    ~FarEnd() {
        stop_ = true;
        thread_.join();
    }

private:
    void run() {
        const QByteArray reply(ReplyLength, 'R');
        while (!stop_) {
            pollfd p{pty_.master, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1 || !(p.revents & POLLIN))
                continue;
            char buffer[256];
            const ssize_t n = ::read(pty_.master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i)
                writeAll(reply);
        }
    }
    void writeAll(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size() && !stop_) {
            const ssize_t n =
                ::write(pty_.master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const Pty& pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Measured {
    int status = -1;
    long peakKiB = 0;
    double seconds = 0;
};

// Runs the program with its output to the null device and waits for it alone.
Measured run(const QByteArray& program, const std::vector<QByteArray>& arguments) {
    std::vector<char*> argv{const_cast<char*>(program.constData())};
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Measured measured;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ) != 0)
        return measured;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return measured;
    measured.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measured.peakKiB = usage.ru_maxrss;
    return measured;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool smoke = args.contains(QStringLiteral("--smoke"));
    QByteArray program = KAVETTA_SEND;
    if (const qsizetype at = args.indexOf(QStringLiteral("--program")); at >= 0)
        program = QFile::encodeName(args.value(at + 1));

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    Pty pty;
    if (!pty.ok() || !linkPort(1, pty.slaveName)) {
        std::fprintf(stderr, "bench_soak: no pseudo-terminal\n");
        return 1;
    }
    FarEnd far(pty);
    const QByteArray expected(ReplyLength, 'R');

    struct Case {
        int exchanges;
        bool expect;
    };
    const std::vector<Case> cases =
        smoke ? std::vector<Case>{{20, true}, {2, false}}
              : std::vector<Case>{{1000, true}, {100000, true}, {1000, false}, {20, false}};
    std::printf("kavetta-send, replies of %d characters at once, --interval 0\n", ReplyLength);
    std::printf("%10s %9s %12s %10s %14s\n", "exchanges", "--expect", "peak RSS", "seconds",
                "exchanges/s");
    for (const Case& c : cases) {
        std::vector<QByteArray> arguments{"--repeat", QByteArray::number(c.exchanges), "--interval",
                                          "0"};
        if (c.expect)
            arguments.insert(arguments.end(), {"--expect", expected});
        else if (c.exchanges > 100)
            arguments.insert(arguments.end(), {"--quiet", "0"}); // memory only: as fast as it goes
        arguments.insert(arguments.end(), {"COM1", "[ENQ]"});
        const Measured m = run(program, arguments);
        if (m.status != 0) {
            std::fprintf(stderr, "bench_soak: kavetta-send ended with status %d\n", m.status);
            return 1;
        }
        std::printf("%10d %9s %9.1f MB %10.2f %14.1f%s\n", c.exchanges, c.expect ? "yes" : "no",
                    double(m.peakKiB) / 1024, m.seconds, c.exchanges / m.seconds,
                    !c.expect && c.exchanges > 100 ? "  (--quiet 0)" : "");
    }
    return 0;
}
