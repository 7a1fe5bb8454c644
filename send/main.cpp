// kavetta-send: one message out on a serial port, and the reply back, as the window would show
// them, for scripts and unattended runs.

#include "commandline.h"
#include "console.h"
#include "options.h"
#include "ports.h"
#include "script.h"
#include "session.h"
#include "status.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QScopeGuard>
#include <QWaitCondition>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace kav;

namespace {

// Every log line to standard error, where a script collects it: on Windows a program without a
// console would otherwise send them to the debugger's output.
void logToStandardError(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    writeErr(qFormatLogMessage(type, context, text) + u'\n');
}

// What the program does for a command line that asks for no exchange.
int answer(const ParsedArguments& parsed) {
    switch (parsed.action) {
    case ParsedArguments::Action::Help:
        return writeOut(parsed.text) ? Passed : OutputFailed;
    case ParsedArguments::Action::Version:
        return writeOut(QStringLiteral("kavetta-send " KAVETTA_VERSION "\n")) ? Passed
                                                                              : OutputFailed;
    case ParsedArguments::Action::List: {
        numberNewAdapters();
        const QList<SerialPortEntry> ports = listSerialPorts();
        return writeOut(parsed.options.json ? portListJson(ports) : portListText(ports))
                   ? Passed
                   : OutputFailed;
    }
    case ParsedArguments::Action::Assign: {
        const int n = portNumber(portNumberText(parsed.options.port));
        if (const QString refusal = assignPort(n, parsed.device); !refusal.isEmpty()) {
            writeErr(QStringLiteral("kavetta-send: --assign: %1\n").arg(refusal));
            return NoPort;
        }
        return writeOut(QStringLiteral("COM%1: %2\n").arg(n).arg(describePortNumber(n)))
                   ? Passed
                   : OutputFailed;
    }
    case ParsedArguments::Action::Refuse:
    case ParsedArguments::Action::Run:
        break;
    }
    writeErr(QStringLiteral("kavetta-send: %1\nTry 'kavetta-send --help'.\n")
                 .arg(shownInput(parsed.text)));
    return BadUsage;
}

// How long the open may take. Nothing in the lock folder, which every user may write, can hold
// it (see DeviceClaim); should anything still do, the run ends with the reason rather than never.
constexpr unsigned long OpenLimitMs = 10000;

bool openPort(MSComm& comm, const SendOptions& options) {
    // The watch is left to end by itself once told: waiting for it to be scheduled again, on a
    // busy machine some milliseconds, would delay the first message by as much.
    struct Watch {
        QMutex mutex;
        QWaitCondition opened;
        bool done = false;
    };
    const auto watch = std::make_shared<Watch>();
    const QString port = options.port;
    std::thread([watch, port] {
        QMutexLocker lock(&watch->mutex);
        const QDeadlineTimer limit(OpenLimitMs);
        while (!watch->done) {
            if (!watch->opened.wait(&watch->mutex, limit) && !watch->done) {
                writeErr(QStringLiteral("kavetta-send: %1: the open did not end within %2 s\n")
                             .arg(port)
                             .arg(OpenLimitMs / 1000));
                std::_Exit(NoPort);
            }
        }
    }).detach();
    const auto stopWatch = qScopeGuard([&] {
        QMutexLocker lock(&watch->mutex);
        watch->done = true;
        watch->opened.wakeAll();
    });
    try {
        openAsOpenButton(comm, options.port, options.settings);
    } catch (const CommError& error) {
        // The line the window logs for the same failure.
        qCWarning(lcPort, "OPEN failed: %s", error.what());
        return false;
    }
    return true;
}

// The modem lines as the command line sets them, at once after the open: the system raises DTR
// and RTS as it opens a port, and nothing can be sent before they are as asked. False, with the
// reason on standard error, for a port that has no such lines.
bool setModemLines(MSComm& comm, const SendOptions& options, SessionLog& log) {
    if (!options.usesModemLines())
        return true;
    if (const QString refusal = comm.modemLinesRefusal(); !refusal.isEmpty()) {
        // On Windows the device is the port's own name.
        const QString port = comm.device() == options.port
                                 ? options.port
                                 : QStringLiteral("%1 (%2)").arg(options.port, comm.device());
        writeErr(QStringLiteral("kavetta-send: %1 is %2: --dtr, --rts, --break and --lines need a "
                                "serial port\n")
                     .arg(port, refusal));
        return false;
    }
    if (options.dtr) {
        comm.setDTREnable(*options.dtr);
        log.lineSet("dtr", *options.dtr);
    }
    if (options.rts) {
        comm.setRTSEnable(*options.rts);
        log.lineSet("rts", *options.rts);
    }
    return true;
}

// The summary after the exchanges: always in JSON, in text for more than one exchange or a run
// cut short.
bool writeSummary(Session& session, const SendOptions& options, Session::End end) {
    Statistics statistics = session.tally().statistics();
    statistics.errors = session.lineErrors();
    if (options.json)
        return writeOut(
            statisticsJson(statistics, session.latencyTimerMs(), session.latencyBeforeMs()));
    if (options.repeat > 1 || options.script || end != Session::End::Finished)
        return writeOut(statisticsText(statistics));
    return true;
}

const char* endName(Session::End end) {
    switch (end) {
    case Session::End::Finished:
        return "finished";
    case Session::End::DeviceLost:
        return "device lost";
    case Session::End::Interrupted:
        return "interrupted";
    case Session::End::OutputFailed:
        return "output failed";
    case Session::End::LogFailed:
        break;
    }
    return "log failed";
}

int status(Session::End end, bool summarised, const Tally& tally, const SessionLog& log) {
    if (end == Session::End::LogFailed || log.failed()) {
        writeErr(QStringLiteral("kavetta-send: --log %1\n").arg(log.error()));
        return OutputFailed;
    }
    if (end == Session::End::OutputFailed || !summarised) {
        writeErr(QStringLiteral("kavetta-send: write error: %1\n").arg(outputError()));
        return OutputFailed;
    }
    if (end == Session::End::Interrupted) {
        writeErr(QStringLiteral("kavetta-send: interrupted after %1\n")
                     .arg(counted(tally.exchanges(), "exchange")));
        return Interrupted;
    }
    if (end == Session::End::DeviceLost)
        return NoPort;
    return tally.allPassed() ? Passed : Failed;
}

} // namespace

int main(int argc, char* argv[]) {
    holdStandardStreams();
    // Each exchange is a few turns of the event loop. Through GLib's main loop a turn takes twice
    // the system calls of the plain POSIX one, which is all a program without a window needs.
    const bool dispatcherGiven = qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (!dispatcherGiven)
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (!dispatcherGiven)
        qunsetenv("QT_NO_GLIB");
    QCoreApplication::setApplicationName(QStringLiteral("kavetta-send"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVETTA_VERSION));
    qInstallMessageHandler(logToStandardError);

    ParsedArguments parsed = parseArguments(QCoreApplication::arguments());
    if (const QString why = argumentsRefusal(argc, argv); !why.isEmpty())
        parsed = {ParsedArguments::Action::Refuse, {}, why, {}};
    if (parsed.action != ParsedArguments::Action::Run)
        return answer(parsed);
    const SendOptions& options = parsed.options;

    SessionLog log;
    if (!options.logPath.isEmpty() && log.open(options.logPath))
        log.started(options);
    if (!options.logPath.isEmpty() && (!log.isOpen() || log.failed())) {
        writeErr(QStringLiteral("kavetta-send: --log %1\n").arg(log.error()));
        return OutputFailed;
    }
    MSComm comm;
    if (!openPort(comm, options)) {
        log.ended("port not opened");
        return NoPort;
    }
    if (!setModemLines(comm, options, log)) {
        comm.setPortOpen(false);
        log.ended("no modem lines");
        return NoPort;
    }
    Session session(comm, options, log);
    const Session::End end = session.run();
    comm.setPortOpen(false);
    log.ended(endName(end));

    const bool summarised = end != Session::End::OutputFailed && end != Session::End::LogFailed &&
                            writeSummary(session, options, end);
    return status(end, summarised, session.tally(), log);
}
