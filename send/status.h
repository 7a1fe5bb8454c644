#pragma once

namespace kav {

// kavetta-send's exit statuses: the sysexits codes (64 for usage, 74 for an I/O error) beside
// the program's own. The manual pages list exactly these.
enum Status {
    Passed = 0,
    Failed = 1,
    NoPort = 2,
    BadUsage = 64,
    OutputFailed = 74, // standard output or the --log
    Interrupted = 130
};

constexpr Status exitStatuses[] = {Passed, Failed, NoPort, BadUsage, OutputFailed, Interrupted};

} // namespace kav
