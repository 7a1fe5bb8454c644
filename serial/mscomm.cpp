#include "mscomm.h"

#include "portdevice.h"

#include <algorithm>
#include <climits>
#include <string>

namespace kav {

Q_LOGGING_CATEGORY(lcPort, "kavetta.port")

MSComm::MSComm(QObject* parent) : QObject(parent) {
    holdTimer_.setSingleShot(true);
    holdTimer_.setTimerType(Qt::PreciseTimer);
    holdTimer_.setInterval(LeadHoldMs);
    connect(&holdTimer_, &QTimer::timeout, this, &MSComm::releaseHeldByte);
    connect(&port_, &QSerialPort::readyRead, this, &MSComm::takeIn);
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::portError);
    connect(&port_, &QSerialPort::bytesWritten, this, &MSComm::outputTaken);
}

MSComm::~MSComm() {
    closePort();
}

void MSComm::setCommPort(int port) {
    // Port numbers are 16-bit; 0 and below name no port.
    if (port <= 0 || port > 32767)
        throw CommError("port number " + std::to_string(port) + " names no port");
    // An open port stays as it is; the number takes effect at the next open.
    commPort_ = port;
}

bool MSComm::applyLine(const LineSettings& line) {
    // On a closed port these only record the values; the port takes them when it opens.
    return port_.setBaudRate(line.baudRate) && port_.setParity(line.parity) &&
           port_.setDataBits(line.dataBits) && port_.setStopBits(line.stopBits);
}

void MSComm::setSettings(const QString& settings) {
    const std::optional<LineSettings> line = parseSettings(settings, hasOneAndHalfStopBits());
    if (!line)
        throw CommError(settingsRefusal(settings, hasOneAndHalfStopBits()).toStdString());
    if (port_.isOpen()) {
        if (!applyLine(*line) || !lineRefusal(port_, *line).isEmpty()) {
            applyLine(line_); // the line stays as it was before this write
            throw CommError(device_.toStdString() + ": the device refuses the settings " +
                            settings.toStdString());
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

bool MSComm::inputMayWait() const {
    return port_.isOpen() && (port_.bytesAvailable() > 0 || driverInputPending(port_) != 0);
}

void MSComm::setOutBufferCount(int count) {
    if (count == 0 && port_.isOpen())
        port_.clear(QSerialPort::Output);
}

int MSComm::OutBufferCount() const {
    if (!port_.isOpen())
        return 0;
    return int(std::min<qint64>(port_.bytesToWrite() + driverOutputPending(port_), INT_MAX));
}

void MSComm::setDTREnable(bool on) {
    if (port_.isOpen())
        port_.setDataTerminalReady(on);
}

void MSComm::setRTSEnable(bool on) {
    if (port_.isOpen())
        port_.setRequestToSend(on);
}

void MSComm::setBreak(bool on) {
    if (port_.isOpen())
        port_.setBreakEnabled(on);
}

std::optional<InputLines> MSComm::inputLines() {
    if (!port_.isOpen())
        return std::nullopt;
    const QSerialPort::PinoutSignals lines = port_.pinoutSignals();
    return InputLines{lines.testFlag(QSerialPort::ClearToSendSignal),
                      lines.testFlag(QSerialPort::DataSetReadySignal),
                      lines.testFlag(QSerialPort::DataCarrierDetectSignal),
                      lines.testFlag(QSerialPort::RingIndicatorSignal)};
}

QString MSComm::modemLinesRefusal() const {
    return port_.isOpen() ? kav::modemLinesRefusal(port_) : QStringLiteral("a closed port");
}

std::optional<LineErrors> MSComm::lineErrors() const {
    LineErrors counts;
    if (!port_.isOpen() || !countLineErrors(port_, &counts))
        return std::nullopt;
    return counts;
}

bool MSComm::hasLineRate() const {
    return port_.isOpen() && kav::hasLineRate(port_);
}

QString MSComm::lowerLatency() {
    if (!port_.isOpen())
        return QStringLiteral("the port is closed");
    QString why;
    const std::optional<bool> was = lowLatency(port_, &why);
    if (!was)
        return why;
    if (*was)
        return QString();
    why = setLowLatency(port_, true);
    latencyToRestore_ = why.isEmpty();
    return why;
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
    const QString entry = portDevice(commPort_);
    if (entry.isEmpty())
        throw CommError("port number " + std::to_string(commPort_) + " names no port");
    QString why;
    const QString device = deviceToOpen(entry, &why);
    if (device.isEmpty())
        throw CommError(why.toStdString());
    // Before the serial library opens the device, so that another program's line settings are
    // never touched.
    if (!claim_.take(device, &why))
        throw CommError(why.toStdString());

    device_ = device;
    port_.setPortName(claim_.libraryName());
    applyLine(line_);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    waiting_.clear();
    splitter_.clear();
    lossPending_ = false;
    if (!port_.open(QIODevice::ReadWrite)) {
        const QString reason = port_.errorString();
        port_.clearError();
        claim_.release();
        throw CommError(device.toStdString() + ": " + reason.toStdString());
    }
    if (const QString refusal = lineRefusal(port_, line_); !refusal.isEmpty()) {
        closePort();
        throw CommError(device.toStdString() + ": " + refusal.toStdString());
    }
    restartReading();
}

void MSComm::Output(const CodeString& data) {
    if (!port_.isOpen() || data.isEmpty())
        return;
    port_.write(bytesOf(data));
}

bool MSComm::OutputNow(const CodeString& data) {
    if (!port_.isOpen() || data.isEmpty())
        return port_.bytesToWrite() == 0;
    // Straight to the driver when nothing waits before it, so that the message leaves in one
    // system call; what the driver has no room for goes the library's way, after what went.
    const QByteArray bytes = bytesOf(data);
    const qint64 taken = port_.bytesToWrite() == 0 ? writeNow(port_, bytes) : 0;
    if (taken == bytes.size())
        return true;
    port_.write(bytes.sliced(taken));
    // The serial library otherwise writes on its next turn of the event loop. Its flush writes
    // whether or not the driver has room, and takes a full buffer for a vanished device: a far
    // end that has stopped reading is left to the event loop, which writes when there is room.
    if (canWriteNow(port_))
        port_.flush();
    return port_.bytesToWrite() == 0;
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

void MSComm::outputTaken() {
    if (port_.bytesToWrite() == 0)
        emit Written();
}

void MSComm::takeIn() {
    // Everything is read even when nothing more can be kept: bytes left in the port would keep
    // its notifier firing, and each arrival must still tell the owner that characters wait.
    QByteArray bytes = port_.readAll();
    restartReading();
    if (bytes.isEmpty())
        return;
    emit Arrived(bytes);
    if (nullDiscard_)
        bytes.removeIf([](char byte) { return byte == '\0'; });
    const qsizetype before = waiting_.size();
    const bool dropped = keep(bytes) < bytes.size();
    if (splitter_.holding())
        holdTimer_.start();
    else
        holdTimer_.stop();
    if (waiting_.size() > before || dropped)
        raiseReceive();
}

qsizetype MSComm::keep(QByteArrayView bytes) {
    // Each byte adds at most one to the count, so feeding no more bytes than there is room for
    // can never go past the bound; a pair takes two bytes for one character, hence the loop.
    qsizetype kept = 0;
    while (kept < bytes.size()) {
        const qsizetype room = MaxWaiting - InBufferCount();
        if (room <= 0)
            break;
        const qsizetype take = std::min(room, bytes.size() - kept);
        splitter_.feed(bytes.sliced(kept, take), waiting_);
        kept += take;
    }
    return kept;
}

void MSComm::restartReading() {
    // Under Wine, QSerialPort on its own receives nothing: it starts each read only when its wait
    // for the port's receive event (WaitCommEvent) completes through an I/O completion port, and
    // Wine's serial driver never completes that wait there, whereas it does complete reads there.
    // Setting the read-buffer size (to what it already is) makes QSerialPort start a read.
    if (readingNeedsRestart() && port_.isOpen())
        port_.setReadBufferSize(port_.readBufferSize());
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
    // Only these leave the device usable. How a vanished device is reported depends on the
    // system and driver: a read, write or resource error on Linux; on Windows also a refused
    // read (ERROR_ACCESS_DENIED, a permission error) or an unmapped code (a broken pipe, a
    // device that stopped working), which the serial library calls unknown.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError ||
        error == QSerialPort::UnsupportedOperationError || error == QSerialPort::NotOpenError)
        return;
    // A read that found nothing because another reader was quicker leaves the device as it was,
    // though the serial library may have stopped reading (it takes a failed read for a vanished
    // device): setting the read-buffer size to what it is starts reading again.
    if (deviceStillThere(port_)) {
        port_.clearError();
        port_.setReadBufferSize(port_.readBufferSize());
        return;
    }
    // The device is gone (unplugged, or the far end of a pseudo-terminal closed). The port is
    // closed from the event loop rather than inside the port's own notification, and the owner
    // hears of it there too, never in the middle of one of its handlers.
    lossPending_ = true;
    qCWarning(lcPort).noquote() << device_ + QStringLiteral(": lost:") << port_.errorString();
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
    if (latencyToRestore_ && port_.isOpen() && deviceStillThere(port_))
        if (const QString why = setLowLatency(port_, false); !why.isEmpty())
            qCWarning(lcPort).noquote()
                << device_ + QStringLiteral(": the driver's low-latency mode stays on:") << why;
    latencyToRestore_ = false;
    if (port_.isOpen())
        port_.close();
    claim_.release();
    port_.clearError();
    // Whatever the port reported while it closed, it is closed now and nothing was lost.
    lossPending_ = false;
}

void openAsOpenButton(MSComm& comm, const QString& portName, const QString& settings) {
    comm.setCommPort(portNumber(portNumberText(portName)));
    if (comm.PortOpen())
        return;
    comm.setSettings(settings);
    comm.setNullDiscard(true);
    comm.setRThreshold(1);
    comm.setInputLen(0);
    comm.setInBufferCount(0);
    comm.setPortOpen(true);
    comm.setNullDiscard(false);
}

} // namespace kav
