#include "ports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace kav {

namespace {

QJsonValue orNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

} // namespace

QString portListText(const QList<SerialPortEntry>& ports) {
    if (ports.isEmpty())
        return QStringLiteral("no serial ports\n");
    qsizetype deviceWidth = 0;
    for (const SerialPortEntry& port : ports)
        deviceWidth = std::max(deviceWidth, port.device.size());
    QString text;
    for (const SerialPortEntry& port : ports) {
        QStringList about;
        if (!port.driver.isEmpty())
            about << port.driver;
        if (!port.vid.isEmpty())
            about << port.vid + u':' + port.pid;
        if (!port.name.isEmpty())
            about << port.name;
        if (!port.uart.isEmpty())
            about << port.uart;
        if (!port.manufacturer.isEmpty())
            about << port.manufacturer;
        if (!port.product.isEmpty())
            about << port.product;
        if (!port.serial.isEmpty())
            about << QStringLiteral("serial ") + port.serial;
        if (!port.stable.isEmpty())
            about << port.stable;
        if (!port.holders.isEmpty())
            about << QStringLiteral("in use by ") + port.holders.join(QStringLiteral(", "));
        // On Windows the device is the port's own name.
        const QString device = port.device == port.port ? QString() : port.device;
        const QString line =
            (port.port.isEmpty() ? QStringLiteral("-") : port.port).leftJustified(7) +
            device.leftJustified(deviceWidth + 2) + about.join(QStringLiteral(", "));
        text += line.trimmed() + u'\n';
    }
    return text;
}

QString portListJson(const QList<SerialPortEntry>& ports) {
    QJsonArray list;
    for (const SerialPortEntry& port : ports) {
        list.append(QJsonObject{{"port", orNull(port.port)},
                                {"device", port.device},
                                {"stable", orNull(port.stable)},
                                {"driver", orNull(port.driver)},
                                {"uart", orNull(port.uart)},
                                {"vid", orNull(port.vid)},
                                {"pid", orNull(port.pid)},
                                {"manufacturer", orNull(port.manufacturer)},
                                {"product", orNull(port.product)},
                                {"serial", orNull(port.serial)},
                                {"name", orNull(port.name)},
                                {"holders", QJsonArray::fromStringList(port.holders)}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)) + u'\n';
}

} // namespace kav
