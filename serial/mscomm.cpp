#include "mscomm.h"

namespace kav {

MSComm::MSComm(QObject* parent) : QObject(parent) {}

MSComm::~MSComm() {
    port_.close();
}

void MSComm::setCommPort(int port) {
    if (port <= 0)
        throw CommError("no such port");
    commPort_ = port;
}

void MSComm::setSettings(const QString& settings) {
    settings_ = settings;
}

int MSComm::InBufferCount() const {
    return 0;
}

void MSComm::setInBufferCount(int) {}

bool MSComm::PortOpen() const {
    return port_.isOpen();
}

void MSComm::setPortOpen(bool open) {
    if (!open) {
        port_.close();
        return;
    }
    throw CommError("not implemented yet");
}

void MSComm::Output(const CodeString&) {}

CodeString MSComm::Input() {
    return {};
}

} // namespace kav
