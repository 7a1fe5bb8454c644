// Reception figures through a real window and a pseudo-terminal far end:
//   1. latency: bytes written on the far end -> Text2 and Label7 updated (median, p99, max);
//   2. reply time: the far end answers a send after a known delay; the time the window shows
//      must be floor(delay / 0.1 s) in at least 99 % of the trials whose delay lies more than
//      10 ms from a tick boundary;
//   3. burst: 1000 bytes at once at the highest listed rate: all shown and correct, in how many
//      receive events, how long, and the longest stall of the event loop meanwhile.
//
//   bench_reception [--smoke] [LATENCY-TRIALS] [REPLY-TRIALS] [MAX-REPLY-SECONDS] [BURSTS]
//
// Reply delays are drawn as 0.05 s + (max - 0.05 s) * u^2 with u uniform in [0, 1): the whole
// range is covered and every tick phase is hit, while the run stays near three minutes.

#include "form1.h"
#include "ptyfixture.h"
#include "textbox.h"
#include "ticks.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <time.h>
#include <vector>

using namespace kav;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[i];
}

double median(const std::vector<double>& values) {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    if (v.empty())
        return 0;
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs the event loop, blocking as the window's own loop does, until `done` holds or the time is
// up; false on time-out.
template <typename F> bool spinUntil(F done, int timeoutMs = 10000) {
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    while (!done()) {
        if (!limit.isActive())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct Bench {
    Form1& form;
    kavtest::Pty& pty;
    QLabel* label7;
    QLabel* label12;
    TextBox* text2;
    int events = 0;
    Clock::time_point lastEventDone;

    void clickOn(const char* name) { form.findChild<QPushButton*>(name)->click(); }

    Bench(Form1& f, kavtest::Pty& p)
        : form(f), pty(p), label7(f.findChild<QLabel*>("Label7")),
          label12(f.findChild<QLabel*>("Label12")), text2(f.findChild<TextBox*>("Text2")) {
        // Connected after the window's own handler, so this runs once the views are updated.
        QObject::connect(&f.comm(), &MSComm::OnComm, &f, [this] {
            ++events;
            lastEventDone = Clock::now();
        });
    }

    bool latency(int trials) {
        std::vector<double> samples;
        const QByteArray bytes("ABCDEFG\r");
        const QString hex = QString::fromLatin1(bytes.toHex().toUpper());
        for (int i = 0; i < trials; ++i) {
            clickOn("Command29");
            const int before = events;
            const Clock::time_point written = Clock::now();
            if (!pty.write(bytes))
                return false;
            if (!spinUntil([&] { return events > before && label7->text() == "8"; }))
                return false;
            if (text2->text() != hex) {
                std::printf("latency: wrong Text2 %s\n", qPrintable(text2->text()));
                return false;
            }
            samples.push_back(ms(lastEventDone - written));
        }
        std::printf("1. latency, far-end write -> Text2 and Label7 updated, %d trials:\n"
                    "   median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                    trials, median(samples), percentile(samples, 0.99),
                    *std::max_element(samples.begin(), samples.end()));
        return true;
    }

    bool replyTime(int trials, double maxSeconds) {
        // The send buffer holds one STX; the far end answers each one with an ACK after the
        // trial's delay, timed from the moment it sees the STX.
        clickOn("Command131");
        QTest::mouseClick(form.findChild<QPushButton*>("Command3"), Qt::LeftButton);
        std::atomic<long long> delayNs{0};
        std::atomic<bool> stop{false};
        std::atomic<Clock::rep> replyAt{0};
        std::thread farEnd([&] {
            char buffer[64];
            while (!stop) {
                pollfd p{pty.master, POLLIN, 0};
                if (::poll(&p, 1, 50) != 1)
                    continue;
                if (::read(pty.master, buffer, sizeof buffer) <= 0)
                    continue;
                timespec now;
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                long long at = now.tv_sec * 1000000000LL + now.tv_nsec + delayNs.load();
                timespec until{time_t(at / 1000000000LL), long(at % 1000000000LL)};
                ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
                const Clock::time_point written = Clock::now();
                if (::write(pty.master, "\x06", 1) == 1)
                    replyAt = written.time_since_epoch().count();
            }
        });

        QRandomGenerator rng(4242);
        int counted = 0, matched = 0, nearBoundary = 0, early = 0, late = 0;
        for (int i = 0; i < trials; ++i) {
            const double u = rng.generateDouble();
            const double delay = 0.05 + (maxSeconds - 0.05) * u * u;
            delayNs = (long long)(delay * 1e9);
            replyAt = 0;
            clickOn("Command29");
            const int before = events;
            clickOn("Command130");
            const Clock::time_point started = Clock::now(); // the timer was started just now
            if (!spinUntil([&] { return events > before && label7->text() == "1"; },
                           int(maxSeconds * 1000) + 5000)) {
                std::printf("reply time: no reply in trial %d\n", i);
                stop = true;
                farEnd.join();
                return false;
            }
            const double actualMs =
                ms(Clock::time_point(Clock::duration(replyAt.load())) - started);
            const double phase = std::fmod(actualMs, 100.0);
            const int expected = int(actualMs / 100.0);
            const int shown = form.TickCount();
            if (shown > 0 && label12->text() != tickText(qint16(shown))) {
                std::printf("reply time: Label12 %s for %d ticks\n", qPrintable(label12->text()),
                            shown);
            }
            if (form.timer().isActive())
                std::printf("reply time: timer still running after the reply\n");
            if (phase < 10.0 || phase > 90.0) {
                ++nearBoundary;
                continue;
            }
            ++counted;
            if (shown == expected)
                ++matched;
            else {
                (shown < expected ? early : late)++;
                std::printf("   miss: delay %.1f ms, shown %d ticks, expected %d\n", actualMs,
                            shown, expected);
            }
        }
        stop = true;
        farEnd.join();
        std::printf("2. reply time, %d trials, delays 0.05-%.2f s: %d of %d counted trials "
                    "show floor(delay/0.1 s) (%.1f %%); %d within 10 ms of a tick left out; "
                    "misses: %d low, %d high\n",
                    trials, maxSeconds, matched, counted, counted ? 100.0 * matched / counted : 0,
                    nearBoundary, early, late);
        return counted == 0 || matched * 100 >= counted * 99;
    }

    bool burst(int bursts) {
        std::vector<double> totals, stalls;
        std::vector<int> eventCounts;
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes += char((i * 37 + 11) & 0xFF); // every byte value, pairs and lone bytes
        const QByteArray ascii(1000, 'U');
        // A fast timer beside the window: the longest gap between its ticks is the longest the
        // window could not react.
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(2);
        Clock::time_point lastBeat = Clock::now();
        double maxGap = 0;
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            maxGap = std::max(maxGap, ms(now - lastBeat));
            lastBeat = now;
        });
        for (int b = 0; b < bursts; ++b) {
            const QByteArray& data = (b % 2) ? ascii : bytes;
            clickOn("Command29");
            QCoreApplication::processEvents();
            heartbeat.start();
            lastBeat = Clock::now();
            maxGap = 0;
            const int before = events;
            const Clock::time_point written = Clock::now();
            if (!pty.write(data))
                return false;
            if (!spinUntil([&] { return bytesOf(form.reception().RecvData).size() >= 1000; })) {
                std::printf("burst: only %lld bytes shown\n",
                            (long long)bytesOf(form.reception().RecvData).size());
                return false;
            }
            const double total = ms(lastEventDone - written);
            spinUntil([] { return false; }, 20); // let the heartbeat see the aftermath
            heartbeat.stop();
            const bool right = bytesOf(form.reception().RecvData) == data &&
                               text2->text() == QString::fromLatin1(data.toHex().toUpper()) &&
                               label7->text() == form.reception().countText();
            if (!right) {
                std::printf("burst %d: views do not match the bytes\n", b);
                return false;
            }
            totals.push_back(total);
            stalls.push_back(maxGap);
            eventCounts.push_back(events - before);
        }
        std::sort(eventCounts.begin(), eventCounts.end());
        std::printf("3. burst of 1000 bytes at once, %d bursts, all shown and correct:\n"
                    "   write -> last view update median %.2f ms (max %.2f); receive events per "
                    "burst %d to %d;\n   longest event-loop stall median %.2f ms (max %.2f)\n",
                    bursts, median(totals), *std::max_element(totals.begin(), totals.end()),
                    eventCounts.front(), eventCounts.back(), median(stalls),
                    *std::max_element(stalls.begin(), stalls.end()));
        return true;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir, configDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    QApplication app(argc, argv);

    QStringList args = app.arguments().mid(1);
    const bool smoke = args.removeAll(QStringLiteral("--smoke")) > 0;
    const int latencyTrials = args.value(0, smoke ? "20" : "1000").toInt();
    const int replyTrials = args.value(1, smoke ? "5" : "150").toInt();
    const double maxReply = args.value(2, smoke ? "0.5" : "3").toDouble();
    const int bursts = args.value(3, smoke ? "2" : "40").toInt();

    kavtest::Pty pty;
    if (!pty.ok() || !kavtest::linkPort(1, pty.slaveName)) {
        std::printf("no pseudo-terminal\n");
        return 1;
    }
    Form1 form;
    if (!form.Form_Load())
        return 1;
    form.show();
    QCoreApplication::processEvents();
    auto* baud = form.findChild<QComboBox*>("Combo2");
    baud->setEditText(baud->itemText(baud->count() - 1)); // the highest listed rate
    QTest::mouseClick(form.findChild<QPushButton*>("Command133"), Qt::LeftButton);
    if (!form.comm().PortOpen()) {
        std::printf("port did not open\n");
        return 1;
    }
    std::printf("port open at %s baud (a pseudo-terminal does not pace bytes by the rate)\n",
                qPrintable(baud->currentText()));

    Bench bench(form, pty);
    bool ok = bench.latency(latencyTrials);
    ok = ok && bench.replyTime(replyTrials, maxReply);
    ok = ok && bench.burst(bursts);
    form.findChild<QPushButton*>("Command134")->click();
    return ok ? 0 : 1;
}
