// kavetta-answer: a stand-in for the device that is not on the bench, answering on a serial port
// or a pseudo-terminal by rules written in the window's notation.

#include "answerer.h"
#include "answeroptions.h"
#include "commandline.h"
#include "console.h"
#include "replay.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

using namespace kav;

namespace {

// kavetta-send's statuses: 2 for a port that cannot be opened or is lost, the sysexits codes
// 64 for usage (a rules file that cannot be read among it) and 74 for an I/O error.
enum Status { Ended = 0, Failed = 1, NoPort = 2, BadUsage = 64, OutputFailed = 74 };

void logToStandardError(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    writeErr(qFormatLogMessage(type, context, text) + u'\n');
}

int answerOnly(const ParsedAnswerArguments& parsed) {
    switch (parsed.action) {
    case ParsedAnswerArguments::Action::Help:
        return writeOut(parsed.text) ? Ended : OutputFailed;
    case ParsedAnswerArguments::Action::Version:
        return writeOut(QStringLiteral("kavetta-answer " KAVETTA_VERSION "\n")) ? Ended
                                                                                : OutputFailed;
    case ParsedAnswerArguments::Action::RulesFrom: {
        QString why;
        const std::optional<QString> log =
            readTextFile(parsed.options.rulesFrom, LargestReplayedLog, &why);
        const ReplayRules replay = log ? rulesFromLog(*log) : ReplayRules{QString(), why};
        if (!replay.error.isEmpty()) {
            writeErr(QStringLiteral("kavetta-answer: --rules-from %1: %2\n")
                         .arg(parsed.options.rulesFrom, replay.error));
            return BadUsage;
        }
        return writeOut(replay.rules) ? Ended : OutputFailed;
    }
    case ParsedAnswerArguments::Action::Refuse:
    case ParsedAnswerArguments::Action::Run:
        break;
    }
    writeErr(QStringLiteral("kavetta-answer: %1\nTry 'kavetta-answer --help'.\n").arg(parsed.text));
    return BadUsage;
}

void logStart(TimedLog& log, const AnswerOptions& options, const QString& device) {
    log.line({{QStringLiteral("event"), QStringLiteral("start")},
              {QStringLiteral("program"), QStringLiteral("kavetta-answer")},
              {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
              {QStringLiteral("port"), options.port.isEmpty() ? options.ptyLink : options.port},
              {QStringLiteral("device"), device},
              {QStringLiteral("settings"), options.settings},
              {QStringLiteral("rules"), options.rulesPath},
              {QStringLiteral("seed"), QString::number(options.faults.seed)}});
}

QString summary(const AnswerTally& tally, const Faults& faults) {
    QString text = QStringLiteral("requests %1, answered %2, unmatched %3, bad check codes %4")
                       .arg(tally.requests)
                       .arg(tally.answered)
                       .arg(tally.unmatched)
                       .arg(tally.badCheck);
    if (faults.any())
        text += QStringLiteral("; dropped %1, corrupted %2, breaks %3 (seed %4)")
                    .arg(tally.dropped)
                    .arg(tally.corrupted)
                    .arg(tally.breaks)
                    .arg(faults.seed);
    return text + u'\n';
}

} // namespace

int main(int argc, char* argv[]) {
    holdStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavetta-answer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVETTA_VERSION));
    qInstallMessageHandler(logToStandardError);

    ParsedAnswerArguments parsed = parseAnswerArguments(QCoreApplication::arguments());
    if (const QString why = argumentsRefusal(argc, argv); !why.isEmpty()) {
        parsed.action = ParsedAnswerArguments::Action::Refuse;
        parsed.text = why;
    }
    if (parsed.action != ParsedAnswerArguments::Action::Run)
        return answerOnly(parsed);
    const AnswerOptions& options = parsed.options;
    const LineSettings settings = *parseSettings(options.settings, hasOneAndHalfStopBits());

    TimedLog log;
    if (!options.logPath.isEmpty() && !log.open(options.logPath)) {
        writeErr(QStringLiteral("kavetta-answer: --log %1\n").arg(log.error()));
        return OutputFailed;
    }
    catchInterrupt();

    std::unique_ptr<Line> line;
    QString device;
#ifndef Q_OS_WIN
    if (!options.ptyLink.isEmpty()) {
        auto pty = std::make_unique<PtyLine>();
        QString why;
        if (!pty->open(options.ptyLink, &why)) {
            writeErr(QStringLiteral("kavetta-answer: --pty %1\n").arg(why));
            log.ended("port not opened");
            return NoPort;
        }
        device = pty->device();
        writeErr(QStringLiteral("kavetta-answer: %1 is %2\n").arg(options.ptyLink, device));
        line = std::move(pty);
    }
#endif
    if (!line) {
        auto serial = std::make_unique<SerialLine>();
        try {
            serial->open(options.port, options.settings);
        } catch (const CommError& error) {
            qCWarning(lcPort, "OPEN failed: %s", error.what());
            log.ended("port not opened");
            return NoPort;
        }
        device = serial->device();
        line = std::move(serial);
    }
    logStart(log, options, device);

    Responder responder(options.rules, options.check, options.faults);
    Answerer answerer(*line, Framer(options.gapNs.value_or(defaultGapNs(settings)), options.end),
                      responder, log, characterNs(settings));
    bool lost = false;
    QObject::connect(line.get(), &Line::lost, &app, [&] {
        lost = true;
        app.quit();
    });
    // The flag the signal handler raises is looked at from the event loop.
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, &app, [&] {
        if (interrupted())
            app.quit();
    });
    interruptWatch.start(100);
    app.exec();

    line.reset(); // the link goes with the line, before anything else can fail
    log.ended(lost ? "device lost" : "interrupted");
    const bool summarised = writeOut(summary(responder.tally(), options.faults));
    if (log.failed()) {
        writeErr(QStringLiteral("kavetta-answer: --log %1\n").arg(log.error()));
        return OutputFailed;
    }
    if (!summarised) {
        writeErr(QStringLiteral("kavetta-answer: write error: %1\n").arg(outputError()));
        return OutputFailed;
    }
    return lost ? NoPort : Ended;
}
