#include "commandline.h"

#include "portdevice.h"
#include "portsettings.h"

namespace kav {

StockOptions addOptions(QCommandLineParser& parser, const char* summary,
                        std::span<const OptionText> options, const char* fill) {
    parser.setApplicationDescription(QString::fromLatin1(summary));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionText& option : options) {
        QString text = QString::fromLatin1(option.help);
        if (text.contains(u"%1"))
            text = text.arg(QLatin1String(option.fill ? option.fill : fill));
        if (option.value)
            parser.addOption({QLatin1String(option.name), text, QLatin1String(option.value)});
        else
            parser.addOption({QLatin1String(option.name), text});
    }
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    parser.addOption(help);
    return {help, parser.addVersionOption()};
}

QString readCheckKind(const Given& given, std::optional<CheckKind>& kind) {
    if (!given.isSet("check"))
        return QString();
    kind = checkKindNamed(given.value("check"));
    if (!kind)
        return QStringLiteral("--check: \"%1\" is none of %2")
            .arg(given.value("check"), checkKindNames().join(QStringLiteral(", ")));
    return QString();
}

QString readSettingsText(const Given& given, QString& settings) {
    if (given.isSet("settings"))
        settings = given.value("settings");
    const QString refusal = settingsRefusal(settings, hasOneAndHalfStopBits());
    return refusal.isEmpty() ? QString() : QStringLiteral("--settings: ") + refusal;
}

} // namespace kav
