#pragma once

#include "portsettings.h"

#include <QString>
#include <QtGlobal>

namespace kav {

// The errors a UART or an adapter saw on the line it receives from, which the bytes alone do not
// show: a character without its stop bit (frame), one whose parity bit is wrong, one the
// hardware or the driver had no room for (overrun), and a line held at space for longer than a
// character (break). Counts that only grow, so that two readings give what happened between.
struct LineErrors {
    quint32 frame = 0;
    quint32 parity = 0;
    quint32 overrun = 0;
    quint32 brk = 0;

    bool any() const { return frame || parity || overrun || brk; }
    // What was counted since `before`. The driver's counters wrap around as unsigned numbers do,
    // so a later count below an earlier one is still the difference.
    LineErrors since(const LineErrors& before) const;
    LineErrors& operator+=(const LineErrors& more);
    bool operator==(const LineErrors&) const = default;
};

// "frame 1, break 2": the counts that are not 0, or an empty string when none is.
QString lineErrorsText(const LineErrors& errors);

// Bits on the line for one character: the start bit, the data bits, the parity bit when there
// is one, and the stop bits (1.5 counted as such).
double bitsPerCharacter(const LineSettings& line);

// How long `characters` take on the line at its rate, in nanoseconds.
qint64 wireNs(qsizetype characters, const LineSettings& line);

// Whether a reply whose first byte was read `firstNs` after the message of `characters` began to
// be written came before that message could have crossed the line. Only a loopback, an echo of
// each character as it comes, or a far end at another rate does that. The reading is stamped
// after the byte came and the write before it began, so a reply marked so is never one that
// merely came quickly.
bool impossibleReply(qint64 firstNs, qsizetype characters, const LineSettings& line);

} // namespace kav
