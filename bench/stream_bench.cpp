// An endless stream while "Over 1000" shows: a far end on a pseudo-terminal writes as fast as
// it can while the window holds a full reception and reads nothing. Reports the resident memory
// at the start, at every sample and at the end (goal: flat within 1 MB), the program's CPU time
// over the run, the longest stall of the event loop, and whether a receive clear afterwards
// shows only bytes that arrived after it.
//
//   bench_stream [SECONDS] [SAMPLE-SECONDS]     (default 600 and 60)
//   bench_stream --smoke                        (4 s; fails if memory grows by 8 MB or more)

#include "formfixture.h"
#include "ptyfixture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <time.h>

using namespace kav;

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

double cpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The far end, in a process of its own so that its work is not counted as the program's: writes
// 4 KiB blocks for `seconds`, then reports through `report` how many bytes went out.
pid_t startWriter(int master, int seconds, int report) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    char block[4096];
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = char('A' + i % 26);
    long long written = 0;
    timespec start{}, now{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    do {
        pollfd p{master, POLLOUT, 0};
        if (::poll(&p, 1, 100) == 1) {
            const ssize_t n = ::write(master, block, sizeof block);
            if (n > 0)
                written += n;
        }
        ::clock_gettime(CLOCK_MONOTONIC, &now);
    } while (now.tv_sec - start.tv_sec < seconds);
    (void)!::write(report, &written, sizeof written);
    ::_exit(0);
}

// Runs the window's event loop for `ms`.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    const int seconds = smoke ? 4 : (argc > 1 ? std::max(1, atoi(argv[1])) : 600);
    const int sampleSeconds = smoke ? 1 : (argc > 2 ? std::max(1, atoi(argv[2])) : 60);
    QApplication app(argc, argv);
    kav::setUpApplication();

    kavtest::FormFixture fx;
    kavtest::Pty pty;
    if (!fx.start(kavtest::FormFixture::Exposed) || !pty.ok() ||
        !kavtest::linkPort(1, pty.slaveName))
        return 1;
    fx.click(QStringLiteral("Command133"));
    if (!fx.form->comm().PortOpen())
        return 1;

    // A full reception first: from here on the window reads nothing.
    QElapsedTimer wait;
    auto waitFor = [&](const QString& label) {
        wait.start();
        while (fx.text(QStringLiteral("Label7")) != label && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    pty.write(QByteArray(1000, 'x'));
    waitFor(QStringLiteral("1000"));
    pty.write(QByteArray("y"));
    waitFor(QStringLiteral("Over 1000"));
    if (fx.text(QStringLiteral("Label7")) != QStringLiteral("Over 1000")) {
        std::printf("the reception did not fill\n");
        return 1;
    }

    // The longest gap between ticks of a 10 ms timer is the longest the window was frozen.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);

    int report[2];
    if (::pipe(report) != 0)
        return 1;
    const long startKiB = residentKiB();
    const double startCpu = cpuSeconds();
    std::printf("resident at start: %ld KiB\n", startKiB);
    std::fflush(stdout);
    const pid_t writer = startWriter(pty.master, seconds, report[1]);
    long highestKiB = startKiB;
    int maxWaiting = 0;
    for (int t = sampleSeconds; t <= seconds; t += sampleSeconds) {
        runFor(sampleSeconds * 1000);
        const long kib = residentKiB();
        highestKiB = std::max(highestKiB, kib);
        maxWaiting = std::max(maxWaiting, fx.form->comm().InBufferCount());
        std::printf("after %4d s: resident %ld KiB (%+ld), waiting %d, label \"%s\"\n", t, kib,
                    kib - startKiB, fx.form->comm().InBufferCount(),
                    qPrintable(fx.text(QStringLiteral("Label7"))));
        std::fflush(stdout);
    }
    int status = 0;
    while (::waitpid(writer, &status, WNOHANG) == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    long long written = 0;
    (void)!::read(report[0], &written, sizeof written);
    const double cpu = cpuSeconds() - startCpu;
    runFor(300); // whatever was still on its way is taken and dropped
    ticker.stop();
    const long endKiB = residentKiB();
    std::printf("far end wrote %.1f MB in %d s\n", double(written) / 1e6, seconds);
    std::printf("resident at end: %ld KiB (%+ld from start, highest %+ld)\n", endKiB,
                endKiB - startKiB, highestKiB - startKiB);
    std::printf("program CPU time over the run: %.2f s (%.1f %% of one core)\n", cpu,
                100.0 * cpu / seconds);
    std::printf("longest event-loop stall: %lld ms; most characters waiting: %d\n", longestStall,
                maxWaiting);

    // A receive clear, then a short reply: only the reply may show.
    fx.click(QStringLiteral("Command29"));
    pty.write(QByteArray("NEW\r\n"));
    waitFor(QStringLiteral("5"));
    const bool onlyNew = fx.text(QStringLiteral("Text2")) == QStringLiteral("4E45570D0A") &&
                         fx.text(QStringLiteral("Label7")) == QStringLiteral("5");
    std::printf("after a clear: %s (Text2 \"%s\", Label7 \"%s\")\n",
                onlyNew ? "only the new bytes show" : "OLD BYTES SHOW",
                qPrintable(fx.text(QStringLiteral("Text2")).left(40)),
                qPrintable(fx.text(QStringLiteral("Label7"))));
    fx.click(QStringLiteral("Command134"));

#ifdef __SANITIZE_ADDRESS__
    // The sanitizer holds freed memory back in quarantine, so resident size says nothing here.
    const bool flat = true;
#else
    const bool flat = highestKiB - startKiB < 8 * 1024;
#endif
    const bool bounded = flat && maxWaiting <= MSComm::MaxWaiting;
    return onlyNew && bounded ? 0 : 1;
}
