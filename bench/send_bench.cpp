// The reply-time error of kavetta-send: a far end on a pseudo-terminal answers each message after
// a known delay (0, 5, 50 and 300 ms); kavetta-send runs the exchange repeatedly and reports
// each reply time. Printed per delay: the median and the worst error against the delay, and
// against the delay the far end actually kept (its sleep overshoots a little).
//
//   bench_send [--smoke] [EXCHANGES-PER-DELAY]

#include "ptyfixture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace kavtest;
using Clock = std::chrono::steady_clock;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double worst(const std::vector<double>& values) {
    double far = 0;
    for (double v : values)
        far = std::abs(v) > std::abs(far) ? v : far;
    return far;
}

// Answers every message with "[ACK]" after `delayMs`, and notes how long it really waited.
class FarEnd {
public:
    FarEnd(const Pty& pty, int delayMs) : pty_(pty), delayMs_(delayMs) {
        thread_ = std::thread([this] { run(); });
    }
    ~FarEnd() {
        stop_ = true;
        thread_.join();
    }
    std::vector<double> kept() {
        std::lock_guard lock(mutex_);
        return kept_;
    }

private:
    void run() {
        while (!stop_) {
            pollfd p{pty_.master, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1 || !(p.revents & POLLIN))
                continue;
            const Clock::time_point heard = Clock::now();
            char buffer[256];
            if (::read(pty_.master, buffer, sizeof buffer) <= 0)
                continue;
            std::this_thread::sleep_until(heard + std::chrono::milliseconds(delayMs_));
            const Clock::time_point answered = Clock::now();
            const char ack = 0x06;
            if (::write(pty_.master, &ack, 1) != 1)
                continue;
            std::lock_guard lock(mutex_);
            kept_.push_back(std::chrono::duration<double, std::milli>(answered - heard).count());
        }
    }

    const Pty& pty_;
    const int delayMs_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<double> kept_;
    std::thread thread_;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool smoke = args.contains(QStringLiteral("--smoke"));
    int exchanges = smoke ? 3 : 200;
    for (const QString& arg : args)
        if (arg.toInt() > 0)
            exchanges = arg.toInt();
    const std::vector<int> delays =
        smoke ? std::vector<int>{0, 5} : std::vector<int>{0, 5, 50, 300};

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    std::printf("kavetta-send reply time against a far end with a known delay, %d exchanges each\n",
                exchanges);
    std::printf("%8s %12s %12s %12s %15s %15s\n", "delay", "median err", "worst err", "median ms",
                "median vs kept", "worst vs kept");
    for (int delay : delays) {
        Pty pty;
        if (!pty.ok() || !linkPort(1, pty.slaveName)) {
            std::fprintf(stderr, "bench_send: no pseudo-terminal\n");
            return 1;
        }
        FarEnd far(pty, delay);
        QProcess send;
        send.start(QStringLiteral(KAVETTA_SEND),
                   {"--json", "--repeat", QString::number(exchanges), "--interval", "0.02",
                    "--quiet", "0.02", "--expect", "[ACK]", "COM1", "[ENQ]"});
        if (!send.waitForFinished(600000) || send.exitCode() != 0) {
            std::fprintf(stderr, "bench_send: kavetta-send failed: %s\n",
                         send.readAllStandardError().constData());
            return 1;
        }
        std::vector<double> measured;
        for (const QByteArray& line : send.readAllStandardOutput().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains(QStringLiteral("ms")))
                measured.push_back(object[QStringLiteral("ms")].toDouble());
        }
        const std::vector<double> kept = far.kept();
        if (measured.size() != size_t(exchanges) || kept.size() != measured.size()) {
            std::fprintf(stderr, "bench_send: %zu replies timed, %zu answers given\n",
                         measured.size(), kept.size());
            return 1;
        }
        std::vector<double> error, errorKept;
        for (size_t i = 0; i < measured.size(); ++i) {
            error.push_back(measured[i] - delay);
            errorKept.push_back(measured[i] - kept[i]);
        }
        std::printf("%6d ms %9.2f ms %9.2f ms %9.1f ms %12.2f ms %12.2f ms\n", delay, median(error),
                    worst(error), median(measured), median(errorKept), worst(errorKept));
        unlinkPort(1);
    }
    return 0;
}
