#include "portdevice.h"

namespace kav {

QString portDevice(int n) {
    return n <= 0 ? QString() : QStringLiteral("COM") + QString::number(n);
}

bool hasOneAndHalfStopBits() {
    return true;
}

} // namespace kav
