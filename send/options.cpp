#include "options.h"

#include "commandline.h"
#include "portdevice.h"
#include "sendbuffer.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>

namespace kav {

namespace {

const char* const Summary = "Sends one message on a serial port as the Kavetta window would and "
                            "prints the reply as the window shows it, with the reply time.";

constexpr OptionText optionTexts[] = {
    {"hex", "The message as hexadecimal codes (02414203).", "HEX"},
    {"settings", "Line settings (default %1).", "TEXT"},
    {"wait", "Seconds to wait for the first byte (default %1).", "S", DefaultWait},
    {"quiet", "Seconds of silence that end the reply (default %1).", "S", DefaultQuiet},
    {"expect", "Succeed only if the reply is exactly TEXT; it ends soon after it is.", "TEXT"},
    {"expect-hex", "The same, as hexadecimal codes.", "HEX"},
    {"repeat", "Run the exchange N times (default 1).", "N"},
    {"interval", "Seconds between one reply and the next send (default %1).", "S", DefaultInterval},
    {"check",
     "Put the check code KIND into the message and verify it on the reply: bcc, sum, "
     "xor-ascii, sum-ascii, modbus-ascii, crc16-modbus, crc16-ccitt, crc16-xmodem.",
     "KIND"},
    {"script",
     "Make the conversation of FILE on the one open port: send, expect, expect-hex, "
     "wait, dtr, rts, break, one a line; in place of MESSAGE.",
     "FILE"},
    {"dtr", "Raise (on) or lower (off) DTR as the port opens, before anything is sent.", "on|off"},
    {"rts", "The same for RTS.", "on|off"},
    {"break", "Send a break of S seconds before the message.", "S"},
    {"lines", "Show the input lines (CTS, DSR, DCD, RI) with each reply.", nullptr},
    {"low-latency",
     "Put the driver into its low-latency mode while the port is open (a USB adapter's latency "
     "timer becomes 1 ms); Linux only.",
     nullptr},
    {"json", "One JSON object per exchange, and a summary.", nullptr},
    {"log", "Write every byte sent and received, timed, and each outcome to FILE (JSON lines).",
     "FILE"},
    {"list", "List the serial ports, opening none (with --json, as JSON).", nullptr},
    {"assign",
     "Make PORT reach DEVICE (a by-id name, ttyUSB0, a path): kavetta-send --assign "
     "COM3 ttyUSB0.",
     nullptr},
};

// Each reader takes its part of the command line into the options, or says why it refuses it.
using Reader = QString (*)(const Given&, SendOptions&);

QString refusedText(const QString& what, const StepRefusal& refusal) {
    return what + QStringLiteral(": ") + refusal.why;
}

QString readScript(const Given& given, SendOptions& options) {
    const QStringList positional = given.parser.positionalArguments();
    if (positional.size() != 1 || given.isSet("hex"))
        return QStringLiteral("give PORT, and the messages in the --script");
    if (given.isSet("expect") || given.isSet("expect-hex"))
        return QStringLiteral("give the replies expected as expect steps of the --script");
    if (given.isSet("break"))
        return QStringLiteral("give breaks as break steps of the --script");
    options.port = positional[0];
    const QString path = given.value("script");
    QString why;
    const std::optional<QString> text = readScriptFile(path, &why);
    if (!text)
        return QStringLiteral("--script %1: %2").arg(path, why);
    const Script script = parseScript(*text);
    if (!script.error.isEmpty())
        return QStringLiteral("--script %1: %2").arg(path, script.error);
    options.steps = script.steps;
    options.script = true;
    return QString();
}

// The command line's conversation: its --break, then its message with the reply it expects, read
// by the readers of a script's steps.
QString readPortAndMessage(const Given& given, SendOptions& options) {
    if (given.isSet("script"))
        return readScript(given, options);
    const bool hex = given.isSet("hex");
    const QStringList positional = given.parser.positionalArguments();
    if (positional.size() != (hex ? 1 : 2))
        return hex ? QStringLiteral("give PORT, and the message with --hex")
                   : QStringLiteral("give PORT and MESSAGE");
    options.port = positional[0];

    if (given.isSet("break")) {
        ScriptStep pause;
        if (const StepRefusal refusal = readBreak(given.value("break"), pause); !refusal.taken())
            return refusedText(QStringLiteral("--break"), refusal);
        options.steps.append(pause);
    }
    ScriptStep send;
    if (const StepRefusal refusal =
            readMessage(hex ? given.value("hex") : positional[1], hex, send);
        !refusal.taken())
        return refusedText(hex ? QStringLiteral("--hex") : QStringLiteral("MESSAGE"), refusal);
    const bool text = given.isSet("expect"), hexExpected = given.isSet("expect-hex");
    if (text && hexExpected)
        return QStringLiteral("give --expect or --expect-hex, not both");
    if (text || hexExpected) {
        const char* option = text ? "expect" : "expect-hex";
        if (const StepRefusal refusal = readExpected(given.value(option), hexExpected, send);
            !refusal.taken())
            return refusedText(QStringLiteral("--") + QLatin1String(option), refusal);
    }
    options.steps.append(send);
    return QString();
}

// The message with its check code in place, or why it cannot have one.
QString withCheckCode(CheckKind kind, CodeString& message) {
    const CheckedFrame frame = withCheck(kind, bytesOf(message));
    if (!frame.error.isEmpty())
        return QStringLiteral("--check: ") + frame.error;
    // The code's bytes are codes of their own, as the receive side would take them one by one.
    CodeString codes;
    for (char byte : frame.bytes)
        codes.append(Code(quint8(byte)));
    SendBuffer buffer;
    if (!appendCodes(buffer, codes))
        return QStringLiteral("--check: the message and its check code are longer than the "
                              "window's send box holds");
    message = buffer.SendData();
    return QString();
}

QString readCheck(const Given& given, SendOptions& options) {
    if (const QString refusal = readCheckKind(given, options.check);
        !refusal.isEmpty() || !options.check)
        return refusal;
    for (ScriptStep& step : options.steps) {
        if (step.kind != ScriptStep::Kind::Send)
            continue;
        const QString refusal = withCheckCode(*options.check, step.message);
        if (!refusal.isEmpty())
            return options.script
                       ? refusal + QStringLiteral(" (line %1 of the --script)").arg(step.line)
                       : refusal;
    }
    return QString();
}

QString readSettings(const Given& given, SendOptions& options) {
    return readSettingsText(given, options.settings);
}

QString readOptionSeconds(const Given& given, const char* option, int& ms) {
    if (!given.isSet(option))
        return QString();
    const StepRefusal refusal = kav::readSeconds(given.value(option), ms);
    return refusal.taken() ? QString()
                           : refusedText(QStringLiteral("--") + QLatin1String(option), refusal);
}

QString readWait(const Given& given, SendOptions& options) {
    if (given.isSet("wait"))
        options.waitText = given.value("wait");
    return readOptionSeconds(given, "wait", options.waitMs);
}

QString readQuiet(const Given& given, SendOptions& options) {
    return readOptionSeconds(given, "quiet", options.quietMs);
}

QString readInterval(const Given& given, SendOptions& options) {
    return readOptionSeconds(given, "interval", options.intervalMs);
}

QString readRepeat(const Given& given, SendOptions& options) {
    if (!given.isSet("repeat"))
        return QString();
    bool ok = false;
    options.repeat = given.value("repeat").toInt(&ok);
    if (!ok || options.repeat < 1)
        return QStringLiteral("--repeat: \"%1\" is no count from 1").arg(given.value("repeat"));
    return QString();
}

QString readJson(const Given& given, SendOptions& options) {
    options.json = given.isSet("json");
    return QString();
}

QString readLog(const Given& given, SendOptions& options) {
    options.logPath = given.value("log");
    if (given.isSet("log") && options.logPath.isEmpty())
        return QStringLiteral("--log: give a file name");
    return QString();
}

QString readModemLine(const Given& given, const char* option, std::optional<bool>& on) {
    if (!given.isSet(option))
        return QString();
    bool state = false;
    if (const StepRefusal refusal = readOnOff(given.value(option), state); !refusal.taken())
        return refusedText(QStringLiteral("--") + QLatin1String(option), refusal);
    on = state;
    return QString();
}

QString readModemLines(const Given& given, SendOptions& options) {
    options.lines = given.isSet("lines");
    const QString refusal = readModemLine(given, "dtr", options.dtr);
    return refusal.isEmpty() ? readModemLine(given, "rts", options.rts) : refusal;
}

QString readLowLatency(const Given& given, SendOptions& options) {
    options.lowLatency = given.isSet("low-latency");
#if defined(Q_OS_WIN)
    // Refused rather than ignored, so that no reply time is read as the lowered one.
    if (options.lowLatency)
        return QStringLiteral("--low-latency: Windows sets an FTDI adapter's latency timer in the "
                              "Device Manager (the port's Advanced settings), not from a program");
#endif
    return QString();
}

constexpr Reader readers[] = {
    readPortAndMessage, readCheck, readSettings, readWait,       readQuiet,     readInterval,
    readRepeat,         readJson,  readLog,      readModemLines, readLowLatency};

const QString NotPortAction = QStringLiteral("-");

// --list and --assign, which make no exchange: empty when taken, NotPortAction when neither is
// asked, else why the command line is refused.
QString readPortAction(const Given& given, ParsedArguments& parsed) {
    const bool list = given.isSet("list"), assign = given.isSet("assign");
    if (!list && !assign)
        return NotPortAction;
    const QStringList positional = given.parser.positionalArguments();
    for (const OptionText& option : optionTexts) {
        const QLatin1String name(option.name);
        if (name != u"list" && name != u"assign" && name != u"json" && given.isSet(option.name))
            return QStringLiteral("--%1 makes no exchange: leave out --%2")
                .arg(list ? QStringLiteral("list") : QStringLiteral("assign"), name);
    }
    if (list && assign)
        return QStringLiteral("give --list or --assign, not both");
    if (list) {
        if (!positional.isEmpty())
            return QStringLiteral("--list takes no PORT or MESSAGE");
        parsed.action = ParsedArguments::Action::List;
        parsed.options.json = given.isSet("json");
        return QString();
    }
    if (given.isSet("json"))
        return QStringLiteral("--assign makes no exchange: leave out --json");
    if (positional.size() != 2)
        return QStringLiteral("give --assign PORT DEVICE");
    if (portNumber(portNumberText(positional[0])) <= 0)
        return QStringLiteral("%1 names no port").arg(positional[0]);
    parsed.action = ParsedArguments::Action::Assign;
    parsed.options.port = positional[0];
    parsed.device = positional[1];
    return QString();
}

ParsedArguments answer(ParsedArguments::Action action, const QString& text) {
    ParsedArguments parsed;
    parsed.action = action;
    parsed.text = text;
    return parsed;
}

} // namespace

CodeString SendOptions::message() const {
    if (script)
        return CodeString();
    const auto send = std::find_if(steps.cbegin(), steps.cend(), [](const ScriptStep& step) {
        return step.kind == ScriptStep::Kind::Send;
    });
    return send == steps.cend() ? CodeString() : send->message;
}

bool SendOptions::usesModemLines() const {
    const auto modemStep = [](const ScriptStep& step) {
        return step.kind == ScriptStep::Kind::Dtr || step.kind == ScriptStep::Kind::Rts ||
               step.kind == ScriptStep::Kind::Break;
    };
    return dtr || rts || lines || std::any_of(steps.cbegin(), steps.cend(), modemStep);
}

ParsedArguments parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    const auto [help, version] = addOptions(parser, Summary, optionTexts, DefaultSettings);
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("COM1, COM 3, COM12 ..."));
    parser.addPositionalArgument(QStringLiteral("MESSAGE"),
                                 QStringLiteral("As the send box shows it: [STX]AB[ETX]; after "
                                                "-- when it begins with -"));

    if (!parser.parse(arguments))
        return answer(ParsedArguments::Action::Refuse, parser.errorText());
    if (parser.isSet(help))
        return answer(ParsedArguments::Action::Help, parser.helpText());
    if (parser.isSet(version))
        return answer(ParsedArguments::Action::Version, QString());

    ParsedArguments parsed;
    const Given given{parser};
    if (const QString refusal = readPortAction(given, parsed); refusal != NotPortAction)
        return refusal.isEmpty() ? parsed : answer(ParsedArguments::Action::Refuse, refusal);
    for (const Reader read : readers) {
        const QString refusal = read(given, parsed.options);
        if (!refusal.isEmpty())
            return answer(ParsedArguments::Action::Refuse, refusal);
    }
    return parsed;
}

} // namespace kav
