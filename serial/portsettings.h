#pragma once

#include <QSerialPort>
#include <QString>
#include <optional>

namespace kav {

// The part of a port name the number is read from: the last two characters of a five-character
// name ("COM12"), otherwise the last character ("COM 9", "COM1"); nothing for an empty name.
QString portNumberText(const QString& portName);

// The number a text begins with: leading blanks skipped, an optional sign, then digits up to the
// first other character. No digit gives 0.
qint16 portNumber(const QString& numberText);

// What a port is set to until something else is asked for, as the window's lists start.
inline constexpr char DefaultSettings[] = "9600,N,8,1";

// The line settings a settings text such as "9600,N,8,1" stands for.
struct LineSettings {
    qint32 baudRate;
    QSerialPort::Parity parity;
    QSerialPort::DataBits dataBits;
    QSerialPort::StopBits stopBits;

    bool operator==(const LineSettings&) const = default;
};

// Taken strictly as written: exactly four fields joined by commas, no blanks anywhere; baud a
// positive decimal integer, parity one of N E O M S in either case, data bits 5 to 8, stop bits
// 1, 1.5 (only where the platform has it) or 2. Anything else gives nothing. Whether the device
// takes the values is only known when the port opens.
std::optional<LineSettings> parseSettings(const QString& text, bool oneAndHalfStopBits);

// Why parseSettings refuses a text, naming the first field that is wrong, for whoever typed it:
// 'the settings text "9600,X,8,1" cannot be applied: field 2, the parity, is "X"; it must be
// N, E, O, M or S'. Empty for a text it takes.
QString settingsRefusal(const QString& text, bool oneAndHalfStopBits);

} // namespace kav
