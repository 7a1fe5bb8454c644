#include "line.h"

#include <thread>

namespace kav {

SerialLine::SerialLine() {
    connect(&comm_, &MSComm::Arrived, this,
            [this](const QByteArray& bytes) { emit received(bytes, nowNs()); });
    // The bytes are taken as they arrive; what the control keeps for the window is let go.
    connect(&comm_, &MSComm::OnComm, this, [this] { comm_.Input(); });
    connect(&comm_, &MSComm::DeviceLost, this, &Line::lost);
}

void SerialLine::open(const QString& port, const QString& settings) {
    openAsOpenButton(comm_, port, settings);
}

void SerialLine::write(const QByteArray& bytes) {
    CodeString codes;
    for (char byte : bytes)
        codes.append(Code(quint8(byte)));
    comm_.OutputNow(codes);
}

void SerialLine::sendBreak(int ms) {
    comm_.setBreak(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    comm_.setBreak(false);
}

} // namespace kav
