// Any text typed into the port and settings lists is either taken exactly as written or
// refused, and nothing in reading it can crash.
//
// Input: one byte choosing how the rest is read as text (bit 0: UTF-16 units, else UTF-8), then
// the text.

#include "check.h"
#include "mscomm.h"
#include "portdevice.h"
#include "portsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

using namespace kav;

namespace {

// A port folder of our own with a few entries, so both ways of naming a device are reached.
struct PortFolder {
    QTemporaryDir config;
    PortFolder() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString ports = config.path() + QStringLiteral("/kavetta/ports");
        QDir().mkpath(ports);
#if !defined(Q_OS_WIN) // Windows names ports COMn and has no port folder
        for (int n : {1, 2, 12, 99})
            QFile::link(QStringLiteral("/nonexistent-device"),
                        ports + QStringLiteral("/com%1").arg(n));
#endif
    }
    QString entry(int n) const {
        return config.path() + QStringLiteral("/kavetta/ports/com%1").arg(n);
    }
};

QChar letterOf(QSerialPort::Parity parity) {
    switch (parity) {
    case QSerialPort::NoParity:
        return u'N';
    case QSerialPort::EvenParity:
        return u'E';
    case QSerialPort::OddParity:
        return u'O';
    case QSerialPort::MarkParity:
        return u'M';
    case QSerialPort::SpaceParity:
        return u'S';
    }
    return u'?';
}

QString stopText(QSerialPort::StopBits stop) {
    switch (stop) {
    case QSerialPort::OneStop:
        return QStringLiteral("1");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    }
    return QStringLiteral("?");
}

// The text that stands for these settings, spelt as the operator chose where a choice exists:
// the parity letter in either case, and leading zeros before the baud.
QString formatAs(const LineSettings& line, const QString& original) {
    const QStringList fields = original.split(u',');
    FUZZ_CHECK(fields.size() == 4);
    qsizetype zeros = 0;
    while (zeros < fields[0].size() && fields[0][zeros] == u'0')
        ++zeros;
    QChar parity = letterOf(line.parity);
    if (fields[1] == QString(parity.toLower()))
        parity = parity.toLower();
    return QString(zeros, u'0') + QString::number(line.baudRate) + u',' + parity + u',' +
           QString::number(int(line.dataBits)) + u',' + stopText(line.stopBits);
}

// The number a text begins with, read the plain way: blanks, a sign, digits; kept in 16 bits
// by saturating.
qint16 numberOf(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = qMin<qint64>(value * 10 + (text[i].unicode() - u'0'), 1000000);
    return qint16(negative ? qMax<qint64>(-value, -32768) : qMin<qint64>(value, 32767));
}

void checkDevice(const PortFolder& folder, int n) {
    const QString device = portDevice(n);
    if (n <= 0) {
        FUZZ_CHECK(device.isEmpty());
        return;
    }
#if defined(Q_OS_WIN)
    Q_UNUSED(folder);
    FUZZ_CHECK(device == QStringLiteral("COM%1").arg(n));
#else
    const bool listed = n == 1 || n == 2 || n == 12 || n == 99;
    FUZZ_CHECK(device ==
               (listed ? folder.entry(n) : QStringLiteral("/dev/ttyS%1").arg(qint64(n) - 1)));
#endif
}

void checkSettings(MSComm& comm, const QString& text) {
    const auto plain = parseSettings(text, false);
    const auto withHalf = parseSettings(text, true);
    if (plain) {
        FUZZ_CHECK(formatAs(*plain, text) == text);
        FUZZ_CHECK(plain->baudRate > 0);
        FUZZ_CHECK(plain->stopBits != QSerialPort::OneAndHalfStop);
        FUZZ_CHECK(withHalf == plain);
    }
    if (withHalf) {
        FUZZ_CHECK(formatAs(*withHalf, text) == text);
        FUZZ_CHECK(plain.has_value() == (withHalf->stopBits != QSerialPort::OneAndHalfStop));
    }
    // The control refuses exactly what the reader refuses, and keeps what it took as written.
    const QString before = comm.Settings();
    bool refused = false;
    try {
        comm.setSettings(text);
    } catch (const CommError&) {
        refused = true;
    }
    FUZZ_CHECK(refused == !parseSettings(text, hasOneAndHalfStopBits()).has_value());
    FUZZ_CHECK(comm.Settings() == (refused ? before : text));
}

void checkPortName(MSComm& comm, const PortFolder& folder, const QString& name) {
    const QString numberText = portNumberText(name);
    FUZZ_CHECK(numberText == name.right(name.size() == 5 ? 2 : 1));
    FUZZ_CHECK(portNumber(name) == numberOf(name));
    const qint16 n = portNumber(numberText);
    FUZZ_CHECK(n == numberOf(numberText));
    FUZZ_CHECK(n >= -9 && n <= 99); // at most two characters are read
    checkDevice(folder, n);
    const int before = comm.CommPort();
    bool refused = false;
    try {
        comm.setCommPort(n);
    } catch (const CommError&) {
        refused = true;
    }
    FUZZ_CHECK(refused == (n <= 0));
    FUZZ_CHECK(comm.CommPort() == (refused ? before : n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PortFolder folder;
    static MSComm comm;
    kavfuzz::Reader in(data, size);
    const bool utf16 = in.byte() & 1;
    const QByteArrayView rest = in.take(in.left());
    QString text;
    if (utf16) {
        // Copied unit by unit: the fuzzer's bytes need not be aligned for 16-bit reads.
        text.resize(rest.size() / 2);
        std::memcpy(text.data(), rest.data(), size_t(text.size()) * sizeof(QChar));
    } else {
        text = QString::fromUtf8(rest);
    }
    checkSettings(comm, text);
    checkPortName(comm, folder, text);
    // Any number at all, not only what a name can give.
    const QByteArray head = rest.first(qMin<qsizetype>(4, rest.size())).toByteArray();
    int n = 0;
    for (char byte : head)
        n = int(unsigned(n) << 8 | quint8(byte));
    checkDevice(folder, n);
    return 0;
}
