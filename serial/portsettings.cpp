#include "portsettings.h"

#include <QStringList>
#include <limits>

namespace kav {

QString portNumberText(const QString& portName) {
    return portName.right(portName.size() == 5 ? 2 : 1);
}

qint16 portNumber(const QString& numberText) {
    qsizetype i = 0;
    const qsizetype n = numberText.size();
    while (i < n && (numberText[i] == u' ' || numberText[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (numberText[i] == u'+' || numberText[i] == u'-')) {
        negative = numberText[i] == u'-';
        ++i;
    }
    int value = 0;
    for (; i < n && numberText[i] >= u'0' && numberText[i] <= u'9'; ++i) {
        value = value * 10 + (numberText[i].unicode() - u'0');
        // The text is at most two characters long, but a longer one must not overflow.
        if (value > std::numeric_limits<qint16>::max())
            value = std::numeric_limits<qint16>::max() + 1;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint16>::max())
        value = std::numeric_limits<qint16>::max();
    return qint16(value);
}

namespace {

std::optional<qint32> parseBaud(const QString& field) {
    if (field.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar ch : field) {
        if (ch < u'0' || ch > u'9')
            return std::nullopt;
        value = value * 10 + (ch.unicode() - u'0');
        if (value > std::numeric_limits<qint32>::max())
            return std::nullopt;
    }
    if (value <= 0)
        return std::nullopt;
    return qint32(value);
}

std::optional<QSerialPort::Parity> parseParity(const QString& field) {
    if (field.size() != 1)
        return std::nullopt;
    // The five ASCII letters in either case, nothing else: Unicode case mapping would also take
    // letters such as the long s (U+017F), whose upper case is S.
    switch (field[0].unicode()) {
    case u'N':
    case u'n':
        return QSerialPort::NoParity;
    case u'E':
    case u'e':
        return QSerialPort::EvenParity;
    case u'O':
    case u'o':
        return QSerialPort::OddParity;
    case u'M':
    case u'm':
        return QSerialPort::MarkParity;
    case u'S':
    case u's':
        return QSerialPort::SpaceParity;
    default:
        return std::nullopt;
    }
}

std::optional<QSerialPort::DataBits> parseDataBits(const QString& field) {
    if (field.size() != 1)
        return std::nullopt;
    switch (field[0].unicode()) {
    case u'5':
        return QSerialPort::Data5;
    case u'6':
        return QSerialPort::Data6;
    case u'7':
        return QSerialPort::Data7;
    case u'8':
        return QSerialPort::Data8;
    default:
        return std::nullopt;
    }
}

std::optional<QSerialPort::StopBits> parseStopBits(const QString& field, bool oneAndHalf) {
    if (field == u"1")
        return QSerialPort::OneStop;
    if (field == u"1.5" && oneAndHalf)
        return QSerialPort::OneAndHalfStop;
    if (field == u"2")
        return QSerialPort::TwoStop;
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> parseSettings(const QString& text, bool oneAndHalfStopBits) {
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    const auto baud = parseBaud(fields[0]);
    const auto parity = parseParity(fields[1]);
    const auto data = parseDataBits(fields[2]);
    const auto stop = parseStopBits(fields[3], oneAndHalfStopBits);
    if (!baud || !parity || !data || !stop)
        return std::nullopt;
    return LineSettings{*baud, *parity, *data, *stop};
}

QString settingsRefusal(const QString& text, bool oneAndHalfStopBits) {
    if (parseSettings(text, oneAndHalfStopBits))
        return QString();
    const QString head = QStringLiteral("the settings text \"%1\" cannot be applied: ").arg(text);
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return head + QStringLiteral("it has %1 fields, where it needs four joined by commas: "
                                     "baud rate, parity, data bits, stop bits")
                          .arg(fields.size());
    const QString stopBits =
        oneAndHalfStopBits ? QStringLiteral("1, 1.5 or 2") : QStringLiteral("1 or 2");
    const struct {
        bool ok;
        const char* name;
        QString allowed;
    } checks[] = {
        {parseBaud(fields[0]).has_value(), "the baud rate",
         QStringLiteral("a whole number from 1, in digits only")},
        {parseParity(fields[1]).has_value(), "the parity", QStringLiteral("N, E, O, M or S")},
        {parseDataBits(fields[2]).has_value(), "the data bits", QStringLiteral("5, 6, 7 or 8")},
        {parseStopBits(fields[3], oneAndHalfStopBits).has_value(), "the stop bits", stopBits},
    };
    for (int i = 0; i < 4; ++i)
        if (!checks[i].ok)
            return head + QStringLiteral("field %1, %2, is \"%3\"; it must be %4")
                              .arg(i + 1)
                              .arg(QLatin1String(checks[i].name), fields[i], checks[i].allowed);
    return head; // not reached: a text every field of which is right is taken
}

} // namespace kav
