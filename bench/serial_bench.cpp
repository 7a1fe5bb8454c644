// Serial-link figures on a pseudo-terminal:
//   1. OPEN to port open: the OPEN handler of a real window, from the click to an open port,
//      median over repeated open/close cycles (goal: 20 ms or less);
//   2. the bare control's open alone, for comparison;
//   3. idle cost with the port open: CPU ticks used and timer events delivered over 5 s with
//      nothing arriving (goal: 0 and 0).
//
//   bench_serial [CYCLES] [IDLE-SECONDS]

#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <pty.h>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// utime + stime of this process, in clock ticks, as the kernel accounts them.
long cpuTicks() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLong() + fields.value(12).toLong(); // utime, stime
}

// CPU time of this process in microseconds, finer than the ticks.
double cpuMicroseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

class TimerCounter : public QObject {
public:
    explicit TimerCounter(const QObject* ignored) : ignored_(ignored) {}
    int count = 0;
    QStringList receivers;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer && watched != ignored_) {
            ++count;
            const QString who = QString::fromLatin1(watched->metaObject()->className()) + u' ' +
                                watched->objectName();
            if (!receivers.contains(who))
                receivers << who;
        }
        return false;
    }

private:
    const QObject* ignored_;
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime, config;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    kav::setUpApplication(); // as the program itself starts
    const int cycles = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);
    const QString ports = config.path() + QStringLiteral("/kavetta/ports");
    QDir().mkpath(ports);
    QFile::link(QString::fromLocal8Bit(name), ports + QStringLiteral("/com1"));

    kav::Form1 form;
    if (!form.Form_Load())
        return 1;
    form.show();
    auto* open = form.findChild<QPushButton*>(QStringLiteral("Command133"));
    auto* close = form.findChild<QPushButton*>(QStringLiteral("Command134"));

    std::vector<double> viaOpen, bare;
    for (int i = 0; i < cycles; ++i) {
        QElapsedTimer clock;
        clock.start();
        open->click();
        const qint64 ns = clock.nsecsElapsed();
        if (!form.comm().PortOpen()) {
            std::fprintf(stderr, "OPEN did not open the port\n");
            return 1;
        }
        viaOpen.push_back(ns / 1e6);
        close->click();
        QCoreApplication::processEvents();
    }
    // The control alone, set up as OPEN sets up the window's own.
    kav::MSComm bareComm;
    bareComm.setCommPort(1);
    bareComm.setRThreshold(1);
    for (int i = 0; i < cycles; ++i) {
        QElapsedTimer clock;
        clock.start();
        bareComm.setPortOpen(true);
        bare.push_back(clock.nsecsElapsed() / 1e6);
        bareComm.setPortOpen(false);
        QCoreApplication::processEvents();
    }
    std::printf("OPEN to port open: median %.3f ms, min %.3f, max %.3f over %d cycles\n",
                median(viaOpen), *std::min_element(viaOpen.begin(), viaOpen.end()),
                *std::max_element(viaOpen.begin(), viaOpen.end()), cycles);
    std::printf("control open alone: median %.3f ms over %d cycles\n", median(bare), cycles);

    open->click();
    if (!form.comm().PortOpen())
        return 1;
    // Let start-up work settle before measuring.
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();

    // First as the window stands (the caret blinks in the focused box), then with the focus
    // off every edit field, which leaves only what the serial side itself does.
    for (const bool caret : {true, false}) {
        if (!caret && QApplication::focusWidget()) {
            QApplication::focusWidget()->clearFocus();
            QEventLoop repaint;
            QTimer::singleShot(300, &repaint, &QEventLoop::quit);
            repaint.exec();
        }
        QTimer end;
        end.setSingleShot(true);
        TimerCounter timers(&end);
        app.installEventFilter(&timers);
        QEventLoop idle;
        QObject::connect(&end, &QTimer::timeout, &idle, &QEventLoop::quit);
        const long before = cpuTicks();
        const double beforeUs = cpuMicroseconds();
        end.start(idleSeconds * 1000);
        idle.exec();
        const long used = cpuTicks() - before;
        const double usedUs = cpuMicroseconds() - beforeUs;
        app.removeEventFilter(&timers);
        std::printf("idle with the port open for %d s, %s: %ld CPU ticks (%ld per second), "
                    "%d timer events%s%s; CPU time %.0f us\n",
                    idleSeconds, caret ? "focus as at start-up" : "no focus", used,
                    ::sysconf(_SC_CLK_TCK), timers.count, timers.count ? " to " : "",
                    qPrintable(timers.receivers.join(", ")), usedUs);
    }
    close->click();
    ::close(master);
    return 0;
}
