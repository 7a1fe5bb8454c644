#pragma once

#include "codepage.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <stdexcept>

namespace kav {

// A failure while configuring or opening the port. Only OPEN catches it.
class CommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The serial control the window talks to. Members keep the names the window's handlers use.
class MSComm : public QObject {
    Q_OBJECT
public:
    static constexpr int ComEvReceive = 2;

    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    int CommPort() const { return commPort_; }
    void setCommPort(int port); // throws CommError for a number that names no port

    bool PortOpen() const;
    void setPortOpen(bool open); // throws CommError when the port cannot be opened

private:
    QSerialPort port_;
    int commPort_ = 1;
};

} // namespace kav
