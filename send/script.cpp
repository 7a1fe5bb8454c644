#include "script.h"

#include "sendbuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace kav {

namespace {

constexpr double LongestSeconds = 86400;

// The line without its comment.
QString withoutComment(const QString& line) {
    for (qsizetype at = 0; at < line.size(); ++at)
        if (line[at] == u'#' && (at == 0 || line[at - 1].isSpace()))
            return line.left(at);
    return line;
}

std::optional<int> secondsMs(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > LongestSeconds)
        return std::nullopt;
    return int(std::lround(seconds * 1000));
}

class Reader {
public:
    explicit Reader(Script& script) : script_(script) {}

    bool line(int number, const QString& text) {
        number_ = number;
        const QString content = withoutComment(text);
        const qsizetype start = content.indexOf(QRegularExpression(QStringLiteral("\\S")));
        if (start < 0)
            return true;
        const qsizetype wordEnd = content.indexOf(u' ', start);
        const QString word = content.mid(start, wordEnd < 0 ? -1 : wordEnd - start);
        qsizetype restAt = wordEnd < 0 ? content.size() : wordEnd + 1;
        while (restAt < content.size() && content[restAt] == u' ')
            ++restAt;
        const QString rest = content.mid(restAt).trimmed();
        const qsizetype column = restAt + 1;
        if (word == u"send")
            return send(rest, column);
        if (word == u"expect" || word == u"expect-hex")
            return expect(rest, column, word == u"expect-hex");
        if (word == u"wait" || word == u"break")
            return wait(rest, column,
                        word == u"wait" ? ScriptStep::Kind::Wait : ScriptStep::Kind::Break);
        if (word == u"dtr" || word == u"rts")
            return modemLine(rest, column,
                             word == u"dtr" ? ScriptStep::Kind::Dtr : ScriptStep::Kind::Rts);
        return refuse(start + 1, QStringLiteral("\"%1\" is no step: send, expect, expect-hex, "
                                                "wait, dtr, rts or break")
                                     .arg(word));
    }

    bool end() {
        if (std::none_of(script_.steps.cbegin(), script_.steps.cend(),
                         [](const ScriptStep& s) { return s.kind == ScriptStep::Kind::Send; }))
            return refuse(1, QStringLiteral("the script sends nothing"), 0);
        return true;
    }

private:
    bool refuse(qsizetype column, const QString& why, int line = -1) {
        script_.steps.clear();
        script_.error = line == 0 ? why
                                  : QStringLiteral("line %1, column %2: %3")
                                        .arg(line < 0 ? number_ : line)
                                        .arg(column)
                                        .arg(why);
        return false;
    }

    bool send(const QString& message, qsizetype column) {
        if (message.isEmpty())
            return refuse(column, QStringLiteral("send what? give the message"));
        const WrittenText written = parseWritten(message, Reach::Composable);
        if (!written.ok())
            return refuse(column + written.errorAt - 1, written.error);
        SendBuffer buffer;
        if (!appendCodes(buffer, written.codes))
            return refuse(column, QStringLiteral("longer than the window's send box holds"));
        ScriptStep step;
        step.message = buffer.SendData();
        step.line = number_;
        script_.steps.append(step);
        return true;
    }

    bool expect(QString text, qsizetype column, bool hex) {
        if (script_.steps.isEmpty() || script_.steps.last().kind != ScriptStep::Kind::Send ||
            script_.steps.last().expected)
            return refuse(1, QStringLiteral("an expect follows the send whose reply it names"));
        ScriptStep& step = script_.steps.last();
        // The wait, when given, is the last word: a number (for hexadecimal, not two digits).
        const qsizetype blank = text.lastIndexOf(u' ');
        if (blank > 0) {
            const QString last = text.mid(blank + 1);
            const bool aByte = hex && last.size() == 2 && !last.contains(u'.');
            if (const std::optional<int> ms = secondsMs(last); ms && !aByte) {
                step.waitMs = *ms;
                step.waitText = last;
                text = text.left(blank).trimmed();
            }
        }
        const WrittenText expected =
            hex ? parseHex(text, Reach::Received) : parseWritten(text, Reach::Received);
        if (!expected.ok())
            return refuse(column + expected.errorAt - 1, expected.error);
        if (expected.codes.isEmpty())
            return refuse(column, QStringLiteral("expect what? give the reply"));
        step.expected = expected.codes;
        return true;
    }

    bool wait(const QString& seconds, qsizetype column, ScriptStep::Kind kind) {
        const std::optional<int> ms = secondsMs(seconds);
        if (!ms || (kind == ScriptStep::Kind::Break && *ms == 0))
            return refuse(column, QStringLiteral("\"%1\" is no number of seconds from %2 to %3")
                                      .arg(seconds)
                                      .arg(kind == ScriptStep::Kind::Break ? 0.001 : 0)
                                      .arg(LongestSeconds));
        ScriptStep step;
        step.kind = kind;
        step.waitMs = *ms;
        step.waitText = seconds;
        step.line = number_;
        script_.steps.append(step);
        return true;
    }

    bool modemLine(const QString& state, qsizetype column, ScriptStep::Kind kind) {
        if (state != u"on" && state != u"off")
            return refuse(column, QStringLiteral("\"%1\" is neither on nor off").arg(state));
        ScriptStep step;
        step.kind = kind;
        step.on = state == u"on";
        step.line = number_;
        script_.steps.append(step);
        return true;
    }

    Script& script_;
    int number_ = 0;
};

} // namespace

std::optional<QString> readScriptFile(const QString& path, QString* why) {
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
    const QByteArray bytes = file.read(LargestScript + 1);
    if (file.size() > LargestScript || bytes.size() > LargestScript) {
        *why = QStringLiteral("%1 bytes, more than a script may hold (%2)")
                   .arg(std::max<qint64>(file.size(), bytes.size()))
                   .arg(LargestScript);
        return std::nullopt;
    }
    return QString::fromUtf8(bytes);
}

QString shownInput(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

Script parseScript(const QString& text) {
    Script script;
    Reader reader(script);
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        line.replace(u'\t', u' ');
        if (!reader.line(int(i + 1), line))
            return script;
    }
    reader.end();
    return script;
}

} // namespace kav
