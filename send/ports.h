#pragma once

#include "portlist.h"

#include <QString>

namespace kav {

// --list: one line a port for a person, or a JSON array for a program.
QString portListText(const QList<SerialPortEntry>& ports);
QString portListJson(const QList<SerialPortEntry>& ports);

} // namespace kav
