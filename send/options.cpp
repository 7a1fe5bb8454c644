#include "options.h"

#include "mscomm.h"
#include "portdevice.h"
#include "sendbuffer.h"

#include <QCommandLineParser>
#include <cmath>

namespace kav {

namespace {

constexpr double LongestSeconds = 86400;

// Seconds as written ("2", "0.2"), as whole milliseconds; nothing for anything else.
std::optional<int> milliseconds(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > LongestSeconds)
        return std::nullopt;
    return int(std::lround(seconds * 1000));
}

ParsedArguments refuse(const QString& why) {
    ParsedArguments parsed;
    parsed.action = ParsedArguments::Action::Refuse;
    parsed.text = why;
    return parsed;
}

QString refusedText(const QString& what, const WrittenText& written) {
    return what + QStringLiteral(": ") + written.error;
}

const char* const Summary = "Sends one message on a serial port as the Kavetta window would and "
                            "prints the reply as the window shows it, with the reply time.";

struct OptionText {
    const char* name;
    const char* help;
    const char* value; // none for a switch
};

constexpr OptionText optionTexts[] = {
    {"hex", "The message as hexadecimal codes (02414203).", "HEX"},
    {"settings", "Line settings (default 9600,N,8,1).", "TEXT"},
    {"wait", "Seconds to wait for the first byte (default 2).", "S"},
    {"quiet", "Seconds of silence that end the reply (default 0.2).", "S"},
    {"expect", "Succeed only if the reply is exactly TEXT.", "TEXT"},
    {"expect-hex", "The same, as hexadecimal codes.", "HEX"},
    {"repeat", "Run the exchange N times (default 1).", "N"},
    {"interval", "Seconds between one reply and the next send (default 0.5).", "S"},
    {"json", "One JSON object per exchange, and a summary.", nullptr},
};

} // namespace

ParsedArguments parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Summary));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionText& option : optionTexts) {
        if (option.value)
            parser.addOption({QLatin1String(option.name), QLatin1String(option.help),
                              QLatin1String(option.value)});
        else
            parser.addOption({QLatin1String(option.name), QLatin1String(option.help)});
    }
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("COM1, COM 3, COM12 ..."));
    parser.addPositionalArgument(QStringLiteral("MESSAGE"),
                                 QStringLiteral("As the send box shows it: [STX]AB[ETX]"));

    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    ParsedArguments parsed;
    if (parser.isSet(help)) {
        parsed.action = ParsedArguments::Action::Help;
        parsed.text = parser.helpText();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.action = ParsedArguments::Action::Version;
        return parsed;
    }

    const auto isSet = [&parser](const char* name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&parser](const char* name) { return parser.value(QLatin1String(name)); };
    SendOptions& options = parsed.options;
    const QStringList positional = parser.positionalArguments();
    const qsizetype wanted = isSet("hex") ? 1 : 2;
    if (positional.size() != wanted)
        return refuse(isSet("hex") ? QStringLiteral("give PORT, and the message with --hex")
                                   : QStringLiteral("give PORT and MESSAGE"));
    options.port = positional[0];

    const WrittenText message = isSet("hex") ? parseHex(value("hex"), Reach::Composable)
                                             : parseWritten(positional[1], Reach::Composable);
    const QString messageName = isSet("hex") ? QStringLiteral("--hex") : QStringLiteral("MESSAGE");
    if (!message.ok())
        return refuse(refusedText(messageName, message));
    SendBuffer buffer;
    if (!appendCodes(buffer, message.codes))
        return refuse(messageName + QStringLiteral(": longer than the %1 characters the window "
                                                   "holds")
                                        .arg(SendBuffer::MaxLength));
    if (buffer.isEmpty())
        return refuse(messageName + QStringLiteral(" is empty"));
    options.message = buffer.SendData();

    if (isSet("settings"))
        options.settings = value("settings");
    const std::optional<LineSettings> line =
        parseSettings(options.settings, hasOneAndHalfStopBits());
    if (!line)
        return refuse(QStringLiteral("--settings: the settings text \"%1\" cannot be applied")
                          .arg(options.settings));
    options.baudRate = line->baudRate;

    struct Seconds {
        const char* option;
        int& ms;
    };
    for (const Seconds& seconds :
         {Seconds{"wait", options.waitMs}, Seconds{"quiet", options.quietMs},
          Seconds{"interval", options.intervalMs}}) {
        if (!isSet(seconds.option))
            continue;
        const std::optional<int> ms = milliseconds(value(seconds.option));
        if (!ms)
            return refuse(QStringLiteral("--%1: \"%2\" is no number of seconds from 0 to %3")
                              .arg(QLatin1String(seconds.option), value(seconds.option))
                              .arg(LongestSeconds));
        seconds.ms = *ms;
    }
    if (isSet("wait"))
        options.waitText = value("wait");

    if (isSet("repeat")) {
        bool ok = false;
        options.repeat = value("repeat").toInt(&ok);
        if (!ok || options.repeat < 1)
            return refuse(
                QStringLiteral("--repeat: \"%1\" is no count from 1").arg(value("repeat")));
    }
    options.json = isSet("json");

    if (isSet("expect") && isSet("expect-hex"))
        return refuse(QStringLiteral("give --expect or --expect-hex, not both"));
    if (isSet("expect") || isSet("expect-hex")) {
        const bool asHex = isSet("expect-hex");
        const WrittenText expected = asHex ? parseHex(value("expect-hex"), Reach::Received)
                                           : parseWritten(value("expect"), Reach::Received);
        if (!expected.ok())
            return refuse(refusedText(
                asHex ? QStringLiteral("--expect-hex") : QStringLiteral("--expect"), expected));
        options.expected = expected.codes;
    }
    return parsed;
}

} // namespace kav
