#pragma once

#include "checkcode.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <optional>
#include <span>

namespace kav {

// One option of a program's command line, as its table of options writes it.
struct OptionText {
    const char* name;
    const char* help;           // "%1" stands for the fill text
    const char* value;          // none for a switch
    const char* fill = nullptr; // the option's own fill, such as its default; else addOptions'
};

struct StockOptions {
    QCommandLineOption help;
    QCommandLineOption version;
};

// Puts a program's summary, its options and -h/--help and -v/--version into parser. Not Qt's
// addHelpOption: it also lists --help-all, for options these programs do not have.
StockOptions addOptions(QCommandLineParser& parser, const char* summary,
                        std::span<const OptionText> options, const char* fill);

// The parsed command line as a program's readers of it see it.
struct Given {
    const QCommandLineParser& parser;

    bool isSet(const char* name) const { return parser.isSet(QLatin1String(name)); }
    QString value(const char* name) const { return parser.value(QLatin1String(name)); }
};

// --check KIND into kind: empty, or why KIND is none of the check codes.
QString readCheckKind(const Given& given, std::optional<CheckKind>& kind);

// --settings TEXT into settings (left as it is without the option): empty, or why the text is
// refused, as the window's OPEN would refuse it.
QString readSettingsText(const Given& given, QString& settings);

// Arguments and the files the programs read (scripts, rules, logs) are UTF-8. Empty for UTF-8
// text, else why these bytes are not, naming the Japanese encoding they look like (a file saved
// as Shift_JIS, an argument typed in an EUC-JP terminal), so that the fix is plain.
QString notUtf8(QByteArrayView bytes);
// The text of the file at path, or nothing with *why saying why: it must be a regular file of at
// most `largest` bytes, so that neither a device (/dev/zero) nor a FIFO can hold the program or
// fill its memory, and UTF-8 text.
std::optional<QString> readTextFile(const QString& path, qint64 largest, QString* why);
// The first of a program's arguments that is not UTF-8, as a refusal; empty when none is (and on
// Windows, where the arguments come as UTF-16).
QString argumentsRefusal(int argc, const char* const* argv);

} // namespace kav
