#pragma once

#include "options.h"
#include "report.h"
#include "timedlog.h"

namespace kav {

// --log: the session log with kavetta-send's own events, the run's start and each exchange's
// outcome.
class SessionLog : public TimedLog {
public:
    void started(const SendOptions& options);
    void exchanged(const ExchangeReport& report);
};

} // namespace kav
