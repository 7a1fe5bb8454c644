#pragma once

#include "checkcode.h"
#include "messagetext.h"
#include "portsettings.h"
#include "script.h"

#include <QStringList>
#include <optional>

namespace kav {

struct SendOptions {
    QString port;
    CodeString message;
    QString settings = QString::fromLatin1(DefaultSettings);
    int waitMs = 2000;
    QString waitText = QStringLiteral("2"); // as written, for the line that reports no reply
    int quietMs = 200;
    int intervalMs = 500;
    int repeat = 1;
    bool json = false;
    std::optional<CodeString> expected; // the reply's bytes, as codes
    std::optional<CheckKind> check;     // put into the message, verified on each reply
    QString logPath;                    // --log: the session log, when given
    std::optional<bool> dtr, rts;       // raised or lowered as the port opens
    std::optional<int> breakMs;         // --break: before each message
    bool lines = false;                 // --lines: the input lines with each reply
    bool lowLatency = false;            // --low-latency: the driver's, while the port is open
    bool script = false;                // --script: the steps below stand for the message
    QList<ScriptStep> steps;

    // Whether the run sets or reads a modem line or sends a break, which a port must be able to.
    bool usesModemLines() const;
};

struct ParsedArguments {
    enum class Action { Run, Help, Version, Refuse, List, Assign };
    Action action = Action::Run;
    SendOptions options;
    QString text;   // the help text, or why the arguments were refused
    QString device; // --assign: what the port is to reach
};

// The command line, program name first. Everything is checked here, before any port is touched.
ParsedArguments parseArguments(const QStringList& arguments);

} // namespace kav
