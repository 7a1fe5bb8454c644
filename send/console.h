#pragma once

#include <QString>

namespace kav {

// Text for standard output or standard error, whole lines, written at once. A console shows it
// as the characters it is, whatever the console's code page; a file or pipe gets UTF-8.
void writeOut(const QString& text);
void writeErr(const QString& text);

// From now on the first Ctrl+C (or SIGTERM) only raises a flag, so that a long run can end with
// what it measured; a second one ends the program at once.
void catchInterrupt();
bool interrupted();

} // namespace kav
