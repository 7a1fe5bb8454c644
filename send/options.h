#pragma once

#include "checkcode.h"
#include "messagetext.h"
#include "portsettings.h"
#include "script.h"

#include <QStringList>
#include <optional>

namespace kav {

// The defaults, in seconds as the help and the manual write them; the milliseconds follow.
constexpr char DefaultWait[] = "2";
constexpr char DefaultQuiet[] = "0.2";
constexpr char DefaultInterval[] = "0.5";

// "2", "0.25" as whole milliseconds, for the defaults above.
constexpr int msOfSeconds(const char* text) {
    int whole = 0, ms = 0, place = 1000;
    bool fraction = false;
    for (; *text; ++text) {
        if (*text == '.') {
            fraction = true;
            continue;
        }
        const int digit = *text - '0';
        if (fraction)
            ms += digit * (place /= 10);
        else
            whole = whole * 10 + digit;
    }
    return whole * 1000 + ms;
}
static_assert(msOfSeconds("2") == 2000 && msOfSeconds("0.25") == 250);

struct SendOptions {
    QString port;
    QString settings = QString::fromLatin1(DefaultSettings);
    int waitMs = msOfSeconds(DefaultWait);
    QString waitText = QString::fromLatin1(DefaultWait); // as written, for "none within 2 s"
    int quietMs = msOfSeconds(DefaultQuiet);
    int intervalMs = msOfSeconds(DefaultInterval);
    int repeat = 1;
    bool json = false;
    std::optional<CheckKind> check; // put into each message, verified on each reply
    QString logPath;                // --log: the session log, when given
    std::optional<bool> dtr, rts;   // raised or lowered as the port opens
    bool lines = false;             // --lines: the input lines with each reply
    bool lowLatency = false;        // --low-latency: the driver's, while the port is open
    bool script = false;            // the steps are a --script's, reported one a line
    // The conversation: the script's, or the command line's message (after its --break) with
    // the reply it expects.
    QList<ScriptStep> steps;

    // The command line's message, or nothing for a script.
    CodeString message() const;
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
