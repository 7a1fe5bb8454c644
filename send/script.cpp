#include "script.h"

#include "commandline.h"
#include "sendbuffer.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace kav {

namespace {

constexpr double LongestSeconds = 86400;

// Blanks between a step's words; inside a message a tab is refused as the command line refuses
// it, never taken for a space.
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// The line without its comment.
QString withoutComment(const QString& line) {
    for (qsizetype at = 0; at < line.size(); ++at)
        if (line[at] == u'#' && (at == 0 || isBlank(line[at - 1])))
            return line.left(at);
    return line;
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
        qsizetype wordEnd = start;
        while (wordEnd < content.size() && !isBlank(content[wordEnd]))
            ++wordEnd;
        const QString word = content.mid(start, wordEnd - start);
        qsizetype restAt = wordEnd;
        while (restAt < content.size() && isBlank(content[restAt]))
            ++restAt;
        qsizetype restEnd = content.size();
        while (restEnd > restAt && isBlank(content[restEnd - 1]))
            --restEnd;
        const QString rest = content.mid(restAt, restEnd - restAt);
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
        ScriptStep step;
        if (const StepRefusal refusal = readMessage(message, false, step); !refusal.taken())
            return refuse(column + refusal.at - 1, refusal.why);
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
        const qsizetype blank = text.lastIndexOf(QRegularExpression(QStringLiteral("[ \\t]")));
        if (blank > 0) {
            const QString last = text.mid(blank + 1);
            const bool aByte = hex && last.size() == 2 && !last.contains(u'.');
            if (const std::optional<int> ms = secondsMs(last); ms && !aByte) {
                step.waitMs = *ms;
                step.waitText = last;
                text = text.left(blank).trimmed();
            }
        }
        if (const StepRefusal refusal = readExpected(text, hex, step); !refusal.taken())
            return refuse(column + refusal.at - 1, refusal.why);
        return true;
    }

    bool wait(const QString& seconds, qsizetype column, ScriptStep::Kind kind) {
        ScriptStep step;
        step.kind = kind;
        int ms = 0;
        const StepRefusal refusal =
            kind == ScriptStep::Kind::Break ? readBreak(seconds, step) : readSeconds(seconds, ms);
        if (!refusal.taken())
            return refuse(column + refusal.at - 1, refusal.why);
        if (kind == ScriptStep::Kind::Wait) {
            step.waitMs = ms;
            step.waitText = seconds;
        }
        step.line = number_;
        script_.steps.append(step);
        return true;
    }

    bool modemLine(const QString& state, qsizetype column, ScriptStep::Kind kind) {
        ScriptStep step;
        step.kind = kind;
        if (const StepRefusal refusal = readOnOff(state, step.on); !refusal.taken())
            return refuse(column + refusal.at - 1, refusal.why);
        step.line = number_;
        script_.steps.append(step);
        return true;
    }

    Script& script_;
    int number_ = 0;
};

} // namespace

StepRefusal readMessage(const QString& text, bool hex, ScriptStep& step) {
    const WrittenText written =
        hex ? parseHex(text, Reach::Composable) : parseWritten(text, Reach::Composable);
    if (!written.ok())
        return {written.error, written.errorAt};
    SendBuffer buffer;
    if (!appendCodes(buffer, written.codes))
        return {QStringLiteral("longer than the window's send box holds: %1 characters as it "
                               "shows them, a mnemonic such as [STX] counting as 5")
                    .arg(SendBuffer::MaxLength)};
    if (buffer.isEmpty())
        return {QStringLiteral("nothing to send: give the message")};
    step.message = buffer.SendData();
    return {};
}

StepRefusal readExpected(const QString& text, bool hex, ScriptStep& step) {
    const WrittenText expected =
        hex ? parseHex(text, Reach::Received) : parseWritten(text, Reach::Received);
    if (!expected.ok())
        return {expected.error, expected.errorAt};
    if (expected.codes.isEmpty())
        return {QStringLiteral("nothing expected: give the reply")};
    step.expected = expected.codes;
    return {};
}

std::optional<int> secondsMs(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > LongestSeconds)
        return std::nullopt;
    return int(std::lround(seconds * 1000));
}

StepRefusal readSeconds(const QString& text, int& ms) {
    const std::optional<int> read = secondsMs(text);
    if (!read)
        return {QStringLiteral("\"%1\" is no number of seconds from 0 to %2")
                    .arg(text)
                    .arg(LongestSeconds)};
    ms = *read;
    return {};
}

StepRefusal readBreak(const QString& text, ScriptStep& step) {
    int ms = 0;
    if (StepRefusal refusal = readSeconds(text, ms); !refusal.taken())
        return refusal;
    if (ms == 0)
        return {QStringLiteral("a break lasts longer than 0 s")};
    step.kind = ScriptStep::Kind::Break;
    step.waitMs = ms;
    step.waitText = text;
    return {};
}

StepRefusal readOnOff(const QString& text, bool& on) {
    if (text != u"on" && text != u"off")
        return {QStringLiteral("\"%1\" is neither on nor off").arg(text)};
    on = text == u"on";
    return {};
}

std::optional<QString> readScriptFile(const QString& path, QString* why) {
    return readTextFile(path, LargestScript, why);
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
        if (!reader.line(int(i + 1), line))
            return script;
    }
    reader.end();
    return script;
}

} // namespace kav
