#pragma once

#include <QString>

namespace kav {

// Text for standard output or standard error, whole lines, written at once. A console shows it
// as the characters it is, whatever the console's code page; a file or pipe gets UTF-8.
void writeOut(const QString& text);
void writeErr(const QString& text);

} // namespace kav
