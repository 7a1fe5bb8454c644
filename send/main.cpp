// kavetta-send: one message out on a serial port, and the reply back, as the window would show
// them, for scripts and unattended runs.

#include "console.h"
#include "exchange.h"
#include "options.h"
#include "report.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>

using namespace kav;

namespace {

enum Status { Passed = 0, Failed = 1, NoPort = 2, BadUsage = 64, Interrupted = 130 };

// The time the line needs for the message, twice over, and two seconds more for the system.
int writeLimitMs(const SendOptions& options) {
    const double bitsPerCharacter = 12; // start, 8 data, parity, 2 stop at the most
    const double ms = double(options.message.size()) * bitsPerCharacter * 1000 / options.baudRate;
    return int(std::min(2 * ms + 2000, 3600e3));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavetta-send"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVETTA_VERSION));

    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments());
    switch (parsed.action) {
    case ParsedArguments::Action::Help:
        writeOut(parsed.text);
        return Passed;
    case ParsedArguments::Action::Version:
        writeOut(QStringLiteral("kavetta-send " KAVETTA_VERSION "\n"));
        return Passed;
    case ParsedArguments::Action::Refuse:
        writeErr(QStringLiteral("kavetta-send: %1\nTry 'kavetta-send --help'.\n").arg(parsed.text));
        return BadUsage;
    case ParsedArguments::Action::Run:
        break;
    }
    const SendOptions& options = parsed.options;

    MSComm comm;
    try {
        openAsOpenButton(comm, options.port, options.settings);
    } catch (const CommError& error) {
        // The line the window logs for the same failure.
        qCWarning(lcPort, "OPEN failed: %s", error.what());
        return NoPort;
    }

    if (!options.json)
        writeOut(sentText(options.message));
    Exchanger exchanger(comm);
    // Ctrl+C ends a long run with the figures so far; signals cannot reach the loops themselves.
    catchInterrupt();
    QEventLoop* pausing = nullptr;
    QTimer watch;
    watch.callOnTimeout([&] {
        if (!interrupted())
            return;
        exchanger.stop();
        if (pausing)
            pausing->quit();
    });
    watch.start(50);

    QList<ExchangeReport> reports;
    bool lost = false;
    for (int n = 1; n <= options.repeat && !lost && !interrupted(); ++n) {
        if (n > 1) {
            QEventLoop pause;
            pausing = &pause;
            QTimer::singleShot(options.intervalMs, Qt::PreciseTimer, &pause, &QEventLoop::quit);
            pause.exec();
            pausing = nullptr;
            if (interrupted())
                break;
        }
        ExchangeReport report;
        report.number = n;
        report.sent = options.message;
        report.result = exchanger.exchange(options.message, options.waitMs, options.quietMs,
                                           writeLimitMs(options));
        if (report.result.outcome == ExchangeResult::Outcome::Stopped)
            break;
        if (report.result.leftOver > 0)
            writeErr(QStringLiteral("kavetta-send: %1 characters that came before exchange %2 "
                                    "were dropped\n")
                         .arg(report.result.leftOver)
                         .arg(n));
        if (options.expected)
            report.matched =
                report.answered() && replyMatches(*options.expected, report.result.reply);
        lost = report.result.outcome == ExchangeResult::Outcome::DeviceLost;
        if (options.json)
            writeOut(exchangeJson(report));
        else
            writeOut(exchangeText(report, options.waitText, options.repeat > 1));
        if (report.matched == false && report.answered() && options.repeat == 1 && !options.json)
            writeOut(expectedText(*options.expected));
        reports.append(report);
    }
    const Statistics statistics = statisticsOf(reports);
    if (options.json)
        writeOut(statisticsJson(statistics));
    else if (options.repeat > 1 || interrupted())
        writeOut(statisticsText(statistics));
    comm.setPortOpen(false);

    if (interrupted()) {
        writeErr(
            QStringLiteral("kavetta-send: interrupted after %1 exchanges\n").arg(reports.size()));
        return Interrupted;
    }
    if (lost)
        return NoPort;
    const bool allPassed = std::all_of(reports.cbegin(), reports.cend(),
                                       [](const ExchangeReport& r) { return r.passed(); });
    return allPassed ? Passed : Failed;
}
