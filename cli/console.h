#pragma once

#include <QString>

namespace kav {

// Before anything opens a file: a standard stream the program was started without is held open
// on the null device, so that the next file opened (the serial port) cannot take its place and
// receive the results. Writing to such a stream still fails, as writing to a closed one would.
void holdStandardStreams();

// Text for standard output or standard error, whole lines, written at once. A console shows it
// as the characters it is, whatever the console's code page; a file or pipe gets UTF-8.
// writeOut is false when the text could not all be written; outputError then says why.
bool writeOut(const QString& text);
void writeErr(const QString& text);
QString outputError();

// From now on the first Ctrl+C (or SIGTERM) only raises a flag, so that a long run can end with
// what it measured; a second one ends the program at once.
void catchInterrupt();
bool interrupted();

} // namespace kav
