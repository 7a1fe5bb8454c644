#pragma once

#include "messagetext.h"

#include <QStringList>
#include <optional>

namespace kav {

struct SendOptions {
    QString port;
    CodeString message;
    QString settings = QStringLiteral("9600,N,8,1");
    qint32 baudRate = 9600; // from the settings, for how long the message takes to go out
    int waitMs = 2000;
    QString waitText = QStringLiteral("2"); // as written, for the line that reports no reply
    int quietMs = 200;
    int intervalMs = 500;
    int repeat = 1;
    bool json = false;
    std::optional<CodeString> expected;
};

struct ParsedArguments {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    SendOptions options;
    QString text; // the help text, or why the arguments were refused
};

// The command line, program name first. Everything is checked here, before any port is touched.
ParsedArguments parseArguments(const QStringList& arguments);

} // namespace kav
