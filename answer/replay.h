#pragma once

#include <QString>

namespace kav {

struct ReplayRules {
    QString rules; // the rules file's text
    QString error; // "line 4: ...", for a log that is not kavetta-send's
};

// Rules that answer as the device of a kavetta-send --log did: each exchange's message is
// matched exactly and gets the reply that came back, after the time it took. A message sent more
// than once gets its replies in turn; one that always got the same reply gets it after the
// median of its times. An exchange without a reply is answered with silence.
ReplayRules rulesFromLog(const QString& log);

} // namespace kav
