#pragma once

#include "messagetext.h"
#include "portsettings.h"
#include "responder.h"
#include "rules.h"

#include <QStringList>

namespace kav {

struct AnswerOptions {
    QString port;    // COMn, when not --pty
    QString ptyLink; // --pty: where the pseudo-terminal's slave is linked
    QString rulesPath;
    RuleBook rules;
    QString settings = QString::fromLatin1(DefaultSettings);
    std::optional<qint64> gapNs; // --gap; else the line's 3.5 characters
    QByteArray end;              // --end: the terminator that ends each request
    std::optional<CheckKind> check;
    Faults faults;
    bool seedGiven = false;
    QString logPath;
    QString rulesFrom; // --rules-from: the log to make rules of, instead of a run
};

// The most a rule file may hold, and a kavetta-send log that --rules-from reads: far more than
// any bench needs, so that neither a device nor a FIFO given by mistake can hold the program.
constexpr qint64 LargestRules = 1024 * 1024;
constexpr qint64 LargestReplayedLog = 256 * 1024 * 1024;

struct ParsedAnswerArguments {
    enum class Action { Run, RulesFrom, Help, Version, Refuse };
    Action action = Action::Run;
    AnswerOptions options;
    QString text; // the help text, or why the arguments were refused
};

// The command line, program name first, and the rules file it names: everything is checked
// here, before any port is opened or any link is made.
ParsedAnswerArguments parseAnswerArguments(const QStringList& arguments);

} // namespace kav
