#include "commandline.h"

#include "portdevice.h"
#include "portsettings.h"

#include <QFile>
#include <QFileInfo>

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

namespace {

bool within(char byte, unsigned low, unsigned high) {
    const auto u = static_cast<unsigned char>(byte);
    return u >= low && u <= high;
}

// Where the first byte that breaks UTF-8 is (overlong forms and surrogates included), or -1.
qsizetype firstNonUtf8(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int more = lead < 0x80                    ? 0
                         : lead >= 0xC2 && lead <= 0xDF ? 1
                         : lead >= 0xE0 && lead <= 0xEF ? 2
                         : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                        : -1;
        if (more < 0 || (more > 0 && i + more >= bytes.size()))
            return i;
        // The second byte's range narrows for E0, ED, F0 and F4.
        const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        for (int k = 1; k <= more; ++k)
            if (!within(bytes[i + k], k == 1 ? low : 0x80, k == 1 ? high : 0xBF))
                return i;
        i += 1 + more;
    }
    return -1;
}

// Whether every byte from 0x80 up is in an EUC-JP character: two bytes from A1 to FE, 8E and a
// half-width katakana, or 8F and two more.
bool readsAsEucJp(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (within(bytes[i], 0x00, 0x7F))
            continue;
        const bool kana = bytes[i] == '\x8E', extra = bytes[i] == '\x8F';
        if (!kana && !extra && !within(bytes[i], 0xA1, 0xFE))
            return false;
        const int trail = extra ? 2 : 1;
        for (int k = 1; k <= trail; ++k)
            if (i + k >= bytes.size() || !within(bytes[i + k], 0xA1, kana ? 0xDF : 0xFE))
                return false;
        i += trail;
    }
    return true;
}

// The same for Shift_JIS (code page 932): a lead byte and its trail, or a half-width katakana.
bool readsAsShiftJis(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (within(bytes[i], 0x00, 0x7F) || within(bytes[i], 0xA1, 0xDF))
            continue;
        if (!within(bytes[i], 0x81, 0x9F) && !within(bytes[i], 0xE0, 0xFC))
            return false;
        if (++i >= bytes.size() || !(within(bytes[i], 0x40, 0x7E) || within(bytes[i], 0x80, 0xFC)))
            return false;
    }
    return true;
}

} // namespace

QString notUtf8(QByteArrayView bytes) {
    const qsizetype at = firstNonUtf8(bytes);
    if (at < 0)
        return QString();
    // EUC-JP first: Japanese in Shift_JIS nearly always has a lead byte below A1, which EUC-JP
    // never has, while EUC-JP's pairs are often half-width katakana pairs to Shift_JIS.
    const char* looks = readsAsEucJp(bytes)      ? "; it reads as EUC-JP"
                        : readsAsShiftJis(bytes) ? "; it reads as Shift_JIS (code page 932)"
                                                 : "";
    return QStringLiteral("not UTF-8 text (byte %1 is 0x%2%3): give it in UTF-8")
        .arg(at + 1)
        .arg(QString::number(static_cast<unsigned char>(bytes[at]), 16).toUpper())
        .arg(QLatin1String(looks));
}

std::optional<QString> readTextFile(const QString& path, qint64 largest, QString* why) {
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    if (!QFileInfo(path).isFile()) {
        *why = QFileInfo::exists(path) ? QStringLiteral("not a regular file")
                                       : QStringLiteral("No such file or directory");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return std::nullopt;
    }
    if (file.isSequential()) { // swapped since it was looked at
        *why = QStringLiteral("not a regular file");
        return std::nullopt;
    }
    // Read one byte beyond the bound, for a file that grows while it is read.
    const QByteArray bytes = file.read(largest + 1);
    if (file.size() > largest || bytes.size() > largest) {
        *why = QStringLiteral("%1 bytes, more than such a file may hold (%2)")
                   .arg(std::max<qint64>(file.size(), bytes.size()))
                   .arg(largest);
        return std::nullopt;
    }
    if (const QString notText = notUtf8(bytes); !notText.isEmpty()) {
        *why = notText;
        return std::nullopt;
    }
    return QString::fromUtf8(bytes);
}

QString argumentsRefusal(int argc, const char* const* argv) {
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#else
    for (int i = 1; i < argc; ++i)
        if (const QString why = notUtf8(QByteArrayView(argv[i])); !why.isEmpty())
            return QStringLiteral("argument %1 is %2").arg(i).arg(why);
#endif
    return QString();
}

} // namespace kav
