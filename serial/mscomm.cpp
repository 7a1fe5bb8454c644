#include "mscomm.h"

#include "portdevice.h"

#include <QFileInfo>

namespace kav {

MSComm::MSComm(QObject* parent) : QObject(parent) {
    holdTimer_.setSingleShot(true);
    holdTimer_.setTimerType(Qt::PreciseTimer);
    holdTimer_.setInterval(LeadHoldMs);
    connect(&holdTimer_, &QTimer::timeout, this, &MSComm::releaseHeldByte);
    connect(&port_, &QSerialPort::readyRead, this, &MSComm::takeIn);
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::portError);
}

MSComm::~MSComm() {
    closePort();
}

void MSComm::setCommPort(int port) {
    // Port numbers are 16-bit; 0 and below name no port.
    if (port <= 0 || port > 32767)
        throw CommError("the port number names no port");
    // An open port stays as it is; the number takes effect at the next open.
    commPort_ = port;
}

void MSComm::setSettings(const QString& settings) {
    const std::optional<LineSettings> line = parseSettings(settings, hasOneAndHalfStopBits());
    if (!line)
        throw CommError("the settings text cannot be applied");
    if (port_.isOpen()) {
        if (!port_.setBaudRate(line->baudRate) || !port_.setParity(line->parity) ||
            !port_.setDataBits(line->dataBits) || !port_.setStopBits(line->stopBits)) {
            // Leave the line as it was before this write.
            port_.setBaudRate(line_.baudRate);
            port_.setParity(line_.parity);
            port_.setDataBits(line_.dataBits);
            port_.setStopBits(line_.stopBits);
            throw CommError("the device refuses the settings");
        }
    }
    line_ = *line;
    settings_ = settings;
}

int MSComm::InBufferCount() const {
    return int(waiting_.size()) + (splitter_.holding() ? 1 : 0);
}

void MSComm::setInBufferCount(int count) {
    if (count != 0)
        return;
    waiting_.clear();
    splitter_.clear();
    holdTimer_.stop();
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

bool MSComm::PortOpen() const {
    return port_.isOpen();
}

void MSComm::setPortOpen(bool open) {
    if (!open) {
        closePort();
        return;
    }
    if (port_.isOpen())
        throw CommError("the port is already open");
    QString device = portDevice(commPort_);
    if (device.isEmpty())
        throw CommError("the port number names no port");
    const QFileInfo entry(device);
    if (entry.isSymLink()) {
        // Open the device itself, so that its lock is the one every other program takes too.
        device = entry.canonicalFilePath();
        if (device.isEmpty())
            throw CommError("the port entry points at nothing");
    }
    if (entry.isFile() || entry.isDir())
        throw CommError("the port entry is not a serial device");

    port_.setPortName(device);
    port_.setBaudRate(line_.baudRate);
    port_.setParity(line_.parity);
    port_.setDataBits(line_.dataBits);
    port_.setStopBits(line_.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    waiting_.clear();
    splitter_.clear();
    lossPending_ = false;
    if (!port_.open(QIODevice::ReadWrite)) {
        const QString why = port_.errorString();
        port_.clearError();
        throw CommError("the port cannot be opened: " + why.toStdString());
    }
}

void MSComm::Output(const CodeString& data) {
    if (!port_.isOpen() || data.isEmpty())
        return;
    port_.write(bytesOf(data));
}

CodeString MSComm::Input() {
    CodeString taken;
    if (inputLen_ > 0 && waiting_.size() > inputLen_) {
        taken = waiting_.first(inputLen_);
        waiting_.remove(0, inputLen_);
    } else {
        taken.swap(waiting_);
    }
    return taken;
}

void MSComm::takeIn() {
    QByteArray bytes = port_.readAll();
    if (bytes.isEmpty())
        return;
    if (nullDiscard_)
        bytes.removeIf([](char byte) { return byte == '\0'; });
    const qsizetype before = waiting_.size();
    splitter_.feed(bytes, waiting_);
    if (splitter_.holding())
        holdTimer_.start();
    else
        holdTimer_.stop();
    if (waiting_.size() > before)
        raiseReceive();
}

void MSComm::releaseHeldByte() {
    if (!splitter_.holding())
        return;
    splitter_.flush(waiting_);
    raiseReceive();
}

void MSComm::raiseReceive() {
    // With no threshold set the control raises no receive event, as the stock control does.
    if (rThreshold_ <= 0 || waiting_.size() < rThreshold_)
        return;
    commEvent_ = ComEvReceive;
    emit OnComm();
}

void MSComm::portError(QSerialPort::SerialPortError error) {
    // Failures of an open attempt are reported by setPortOpen itself.
    if (!port_.isOpen() || lossPending_)
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    // The device is gone (unplugged, or the far end of a pseudo-terminal closed). The port is
    // closed from the event loop rather than inside the port's own notification, and the owner
    // hears of it there too, never in the middle of one of its handlers.
    lossPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!lossPending_)
                return;
            closePort();
            emit DeviceLost();
        },
        Qt::QueuedConnection);
}

void MSComm::closePort() {
    holdTimer_.stop();
    waiting_.clear();
    splitter_.clear();
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    // Whatever the port reported while it closed, it is closed now and nothing was lost.
    lossPending_ = false;
}

} // namespace kav
