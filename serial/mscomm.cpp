#include "mscomm.h"

namespace kav {

MSComm::MSComm(QObject* parent) : QObject(parent) {}

MSComm::~MSComm() { port_.close(); }

void MSComm::setCommPort(int port) {
    if (port <= 0)
        throw CommError("no such port");
    commPort_ = port;
}

bool MSComm::PortOpen() const { return port_.isOpen(); }

void MSComm::setPortOpen(bool open) {
    if (!open) {
        port_.close();
        return;
    }
    throw CommError("not implemented yet");
}

} // namespace kav
