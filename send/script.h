#pragma once

#include "messagetext.h"

#include <QList>
#include <QString>
#include <optional>

namespace kav {

// One step of a conversation: a message sent and its reply awaited (with what it must be, when a
// line "expect" follows it), a pause, a modem line set or a break.
struct ScriptStep {
    enum class Kind { Send, Wait, Dtr, Rts, Break };
    Kind kind = Kind::Send;
    CodeString message;                 // Send: the codes, as the keypad would put them together
    std::optional<CodeString> expected; // Send: the reply's bytes, as codes
    std::optional<int> waitMs; // Send: for the first byte (else --wait); Wait, Break: the length
    bool on = false;           // Dtr, Rts: raised
    QString waitText;          // as written, for the line that reports no reply
    int line = 0;              // in the script, counted from 1
};

// The rules of the notation for each part of a step, wherever the step is written: a line of a
// script or the command line. A refusal says why, and where in the text it begins (from 1).
struct StepRefusal {
    QString why; // empty when the text was taken
    qsizetype at = 1;

    bool taken() const { return why.isEmpty(); }
};

// The message (or, with hex, its codes in hexadecimal) into step, built as the keypad builds it,
// within what the window's send box holds.
StepRefusal readMessage(const QString& text, bool hex, ScriptStep& step);
// The reply the step's message must get, into step.expected.
StepRefusal readExpected(const QString& text, bool hex, ScriptStep& step);
// Seconds as written ("2", "0.2"), from 0 to a day, as whole milliseconds.
std::optional<int> secondsMs(const QString& text);
StepRefusal readSeconds(const QString& text, int& ms);
// A break's length into a Break step.
StepRefusal readBreak(const QString& text, ScriptStep& step);
// "on" or "off".
StepRefusal readOnOff(const QString& text, bool& on);

struct Script {
    QList<ScriptStep> steps;
    QString error; // "line 3, column 8: ...", for the person who wrote it
};

// A script, one step a line:
//   send MESSAGE          the message in the send box's notation
//   expect TEXT [S]       the reply the send before must give, and seconds for its first byte
//   expect-hex HEX [S]    the same in hexadecimal
//   wait S                a pause of S seconds
//   dtr on|off, rts on|off   the modem line raised or lowered
//   break S               a break of S seconds on the line
// A "#" at the start of a line or after a blank begins a comment; blank lines are skipped. Blanks
// at the end of a message are not part of it: write [SP] for one.
Script parseScript(const QString& text);

// The most a script file may hold: thousands of lines more than any conversation needs.
constexpr qint64 LargestScript = 1024 * 1024;

// The text of the script file at path, or nothing with *why saying why: it must be a regular
// file of at most LargestScript bytes, so that neither a device (/dev/zero) nor a FIFO can hold
// the program or fill its memory.
std::optional<QString> readScriptFile(const QString& path, QString* why);

// Text the user gave, for a message on a terminal: each control character (C0, DEL, C1) as \xNN,
// so that nothing typed or read from a file reaches the terminal as a command.
QString shownInput(const QString& text);

} // namespace kav
