#include "answeroptions.h"

#include "commandline.h"
#include "portdevice.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRandomGenerator>
#include <cmath>

namespace kav {

namespace {

constexpr double LongestSeconds = 86400;

const char* const Summary =
    "Answers on a serial port, or on a pseudo-terminal it makes, as the device the RULES "
    "describe would: each request that arrives is matched against the rules, and the rule's "
    "reply goes back after its delay. Ctrl+C ends it with a summary.";

constexpr OptionText optionTexts[] = {
    {"pty",
     "Make a pseudo-terminal and link its slave at LINK (such as "
     "~/.config/kavetta/ports/com7), in place of PORT.",
     "LINK"},
    {"settings", "Line settings (default %1).", "TEXT"},
    {"end", "A request ends with TEXT (such as [CR][LF]) rather than at an idle gap.", "TEXT"},
    {"gap", "Seconds of silence that end a request (default 3.5 characters at the line's rate).",
     "S"},
    {"check",
     "Verify the check code KIND of each request and leave it out of the match; put it on each "
     "reply: bcc, sum, xor-ascii, sum-ascii, modbus-ascii, crc16-modbus, crc16-ccitt, "
     "crc16-xmodem.",
     "KIND"},
    {"drop", "Leave out a reply with probability P (0 to 1).", "P"},
    {"corrupt", "Change one byte of a reply with probability P.", "P"},
    {"break", "Send a break before a reply with probability P.", "P"},
    {"jitter", "Add up to S seconds, at random, to each reply's delay.", "S"},
    {"seed", "The faults' random numbers from seed N: the same seed gives the same run.", "N"},
    {"log",
     "Write every byte received and sent, timed, and each request's outcome to FILE "
     "(kavetta-send's JSON lines).",
     "FILE"},
    {"rules-from", "Print the rules that replay a kavetta-send --log FILE, and end.", "FILE"},
};

using Reader = QString (*)(const Given&, AnswerOptions&);

QString readSeconds(const Given& given, const char* option, qint64& ns) {
    const QString text = given.value(option);
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > LongestSeconds)
        return QStringLiteral("--%1: \"%2\" is no number of seconds from 0 to %3")
            .arg(QLatin1String(option), text)
            .arg(LongestSeconds);
    ns = std::llround(seconds * 1e9);
    return QString();
}

QString readProbability(const Given& given, const char* option, double& p) {
    if (!given.isSet(option))
        return QString();
    bool ok = false;
    p = given.value(option).toDouble(&ok);
    if (!ok || !(p >= 0 && p <= 1))
        return QStringLiteral("--%1: \"%2\" is no probability from 0 to 1")
            .arg(QLatin1String(option), given.value(option));
    return QString();
}

QString readPlace(const Given& given, AnswerOptions& options) {
    const QStringList positional = given.parser.positionalArguments();
    if (given.isSet("rules-from"))
        return positional.isEmpty() ? QString()
                                    : QStringLiteral("--rules-from takes no PORT or RULES");
    if (given.isSet("pty")) {
#ifdef Q_OS_WIN
        return QStringLiteral("--pty: Windows has no pseudo-terminals; give a COM port");
#else
        options.ptyLink = given.value("pty");
        if (options.ptyLink.isEmpty() || positional.size() != 1)
            return QStringLiteral("give --pty LINK and RULES");
        options.rulesPath = positional[0];
        return QString();
#endif
    }
    if (positional.size() != 2)
        return QStringLiteral("give PORT and RULES, or --pty LINK and RULES");
    options.port = positional[0];
    if (portNumber(portNumberText(options.port)) <= 0)
        return QStringLiteral("\"%1\" names no port: COM1, COM 3, COM12 ...").arg(options.port);
    options.rulesPath = positional[1];
    return QString();
}

QString readCheck(const Given& given, AnswerOptions& options) {
    return readCheckKind(given, options.check);
}

QString readSettings(const Given& given, AnswerOptions& options) {
    return readSettingsText(given, options.settings);
}

QString readFraming(const Given& given, AnswerOptions& options) {
    if (given.isSet("end") && given.isSet("gap"))
        return QStringLiteral("give --end or --gap, not both");
    if (given.isSet("gap")) {
        qint64 ns = 0;
        const QString refusal = readSeconds(given, "gap", ns);
        if (refusal.isEmpty() && ns == 0)
            return QStringLiteral("--gap: a gap lasts longer than 0 s");
        options.gapNs = ns;
        return refusal;
    }
    if (!given.isSet("end"))
        return QString();
    const WrittenText end = parseWritten(given.value("end"), Reach::Received);
    if (!end.ok())
        return QStringLiteral("--end: ") + end.error;
    options.end = bytesOf(end.codes);
    return options.end.isEmpty() ? QStringLiteral("--end: give the bytes that end a request")
                                 : QString();
}

QString readFaults(const Given& given, AnswerOptions& options) {
    Faults& faults = options.faults;
    QString refusal = readProbability(given, "drop", faults.drop);
    if (refusal.isEmpty())
        refusal = readProbability(given, "corrupt", faults.corrupt);
    if (refusal.isEmpty())
        refusal = readProbability(given, "break", faults.brk);
    if (refusal.isEmpty() && given.isSet("jitter"))
        refusal = readSeconds(given, "jitter", faults.jitterNs);
    if (!refusal.isEmpty())
        return refusal;
    options.seedGiven = given.isSet("seed");
    if (!options.seedGiven) {
        // Written to the log, so that a run worth repeating can be.
        faults.seed = QRandomGenerator::system()->generate64() >> 1;
        return QString();
    }
    bool ok = false;
    faults.seed = given.value("seed").toULongLong(&ok);
    return ok ? QString()
              : QStringLiteral("--seed: \"%1\" is no whole number from 0").arg(given.value("seed"));
}

QString readLog(const Given& given, AnswerOptions& options) {
    options.logPath = given.value("log");
    options.rulesFrom = given.value("rules-from");
    if (given.isSet("log") && options.logPath.isEmpty())
        return QStringLiteral("--log: give a file name");
    if (given.isSet("rules-from") && options.rulesFrom.isEmpty())
        return QStringLiteral("--rules-from: give a kavetta-send --log file");
    return QString();
}

// Last, as the rules are read with the check code the command line gives.
QString readRules(const Given& given, AnswerOptions& options) {
    if (given.isSet("rules-from"))
        return QString();
    QString why;
    const std::optional<QString> text = readTextFile(options.rulesPath, LargestRules, &why);
    if (!text)
        return options.rulesPath + QStringLiteral(": ") + why;
    options.rules = parseRules(*text, options.check);
    if (!options.rules.ok())
        return options.rulesPath + QStringLiteral(": ") + options.rules.error;
    return QString();
}

constexpr Reader readers[] = {readPlace,  readCheck, readSettings, readFraming,
                              readFaults, readLog,   readRules};

ParsedAnswerArguments refuse(ParsedAnswerArguments::Action action, const QString& text) {
    ParsedAnswerArguments parsed;
    parsed.action = action;
    parsed.text = text;
    return parsed;
}

} // namespace

ParsedAnswerArguments parseAnswerArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    const auto [help, version] = addOptions(parser, Summary, optionTexts, DefaultSettings);
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("COM1, COM 3, COM12 ..."));
    parser.addPositionalArgument(QStringLiteral("RULES"),
                                 QStringLiteral("The rules file: on [ENQ] reply [ACK] after 0.05"));

    if (!parser.parse(arguments))
        return refuse(ParsedAnswerArguments::Action::Refuse, parser.errorText());
    if (parser.isSet(help))
        return refuse(ParsedAnswerArguments::Action::Help, parser.helpText());
    if (parser.isSet(version))
        return refuse(ParsedAnswerArguments::Action::Version, QString());

    ParsedAnswerArguments parsed;
    const Given given{parser};
    for (const Reader read : readers) {
        const QString refusal = read(given, parsed.options);
        if (!refusal.isEmpty())
            return refuse(ParsedAnswerArguments::Action::Refuse, refusal);
    }
    if (given.isSet("rules-from"))
        parsed.action = ParsedAnswerArguments::Action::RulesFrom;
    return parsed;
}

} // namespace kav
