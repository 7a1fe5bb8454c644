// The port list and the adapters' numbers, read from sysfs trees made as the kernel makes them
// (usb-serial and cdc_acm adapters, 8250 UARTs and their placeholders), with or without udev's
// /dev/serial links.

#include "portlist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace kav;

namespace {

struct Adapter {
    QString tty;    // ttyUSB0, ttyACM0
    QString driver; // ftdi_sio, cdc_acm ...
    QString usb;    // the USB device's path: 1-1, 1-1.2
    QString vid, pid, product, serial;
    bool udev = true; // whether udev made its /dev/serial/by-id link
};

class FakeSystem {
public:
    SystemRoots roots() const {
        return {dir_.filePath("sys"), dir_.filePath("dev"), dir_.filePath("ports")};
    }
    void plug(const Adapter& a) {
        const QString device = "devices/pci0000:00/0000:00:14.0/usb1/" + a.usb;
        const QString interface = device + '/' + a.usb + ":1.0";
        write(device + "/idVendor", a.vid);
        write(device + "/idProduct", a.pid);
        write(device + "/manufacturer", "Maker");
        write(device + "/product", a.product);
        if (!a.serial.isEmpty())
            write(device + "/serial", a.serial);
        write(interface + "/bInterfaceNumber", "00");
        // usb-serial drivers put a port device of their own under the interface; cdc_acm does not.
        const bool acm = a.driver == u"cdc_acm";
        const QString port = acm ? interface : interface + '/' + a.tty;
        link(port + "/driver",
             "bus/" + QString(acm ? "usb" : "usb-serial") + "/drivers/" + a.driver);
        ttyEntry(port, a.tty);
        if (a.udev) {
            const QString id = "usb-Maker_" + QString(a.product).replace(' ', '_') + '_' +
                               a.serial + "-if00-port0";
            QDir().mkpath(dir_.filePath("dev/serial/by-id"));
            QVERIFY(::symlink(qPrintable("../../" + a.tty),
                              qPrintable(dir_.filePath("dev/serial/by-id/" + id))) == 0);
        }
    }
    void unplug(const Adapter& a) {
        QDir(dir_.filePath("sys/devices/pci0000:00/0000:00:14.0/usb1/" + a.usb))
            .removeRecursively();
        QFile::remove(dir_.filePath("sys/class/tty/" + a.tty));
        QFile::remove(dir_.filePath("dev/" + a.tty));
        QDir byId(dir_.filePath("dev/serial/by-id"));
        for (const QString& name : byId.entryList(QDir::System))
            QFile::remove(byId.filePath(name));
    }
    // An 8250 port; type 0 is a placeholder with no UART behind it.
    void uart(const QString& tty, int type) {
        const QString port = "devices/platform/serial8250/serial8250:0/serial8250:0." + tty.mid(4);
        // Since Linux 6.5 the serial core's own port and controller stand between.
        link(port + "/driver", "bus/serial-base/drivers/port");
        link("devices/platform/serial8250/serial8250:0/driver", "bus/serial-base/drivers/ctrl");
        link("devices/platform/serial8250/driver", "bus/platform/drivers/serial8250");
        ttyEntry(port, tty);
        write("class/tty/" + tty + "/type", QString::number(type));
    }
    void virtualTerminal(const QString& tty) {
        write("devices/virtual/tty/" + tty + "/dev", "4:1");
    }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    QString root() const { return dir_.path(); }

private:
    void write(const QString& relative, const QString& text) {
        const QString path = dir_.filePath("sys/" + relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8() + '\n');
    }
    void link(const QString& relative, const QString& target) {
        const QString path = dir_.filePath("sys/" + relative);
        QDir().mkpath(QFileInfo(path).path());
        QDir().mkpath(dir_.filePath("sys/" + target));
        QFile::link(dir_.filePath("sys/" + target), path);
    }
    // The tty's class entry, its device link, and its node in /dev.
    void ttyEntry(const QString& device, const QString& tty) {
        const QString folder = device + "/tty/" + tty;
        QDir().mkpath(dir_.filePath("sys/" + folder));
        QFile::link(dir_.filePath("sys/" + device), dir_.filePath("sys/" + folder + "/device"));
        QDir().mkpath(dir_.filePath("sys/class/tty"));
        QFile::link(dir_.filePath("sys/" + folder), dir_.filePath("sys/class/tty/" + tty));
        QDir().mkpath(dir_.filePath("dev"));
        QFile node(dir_.filePath("dev/" + tty));
        QVERIFY(node.open(QIODevice::WriteOnly));
    }
    QTemporaryDir dir_;
};

// One line an entry, with what the list tells of it.
QStringList shown(const QList<SerialPortEntry>& ports, const QString& root) {
    QStringList lines;
    for (const SerialPortEntry& p : ports)
        lines << QStringList{p.port, p.device, p.stable,  p.driver, p.uart,
                             p.vid,  p.pid,    p.product, p.serial}
                     .join('|')
                     .replace(root, QString());
    return lines;
}

const Adapter Ftdi{"ttyUSB0", "ftdi_sio", "1-1", "0403", "6001", "FT232R USB UART", "A1B2C3"};
// Two of the same kind without serial numbers, and no udev.
const Adapter Ch341a{"ttyUSB1", "ch341", "1-2", "1a86", "7523", "USB Serial", "", false};
const Adapter Ch341b{"ttyUSB2", "ch341", "1-3", "1a86", "7523", "USB Serial", "", false};

} // namespace

class TestPortList : public QObject {
    Q_OBJECT
private slots:
    void listsWhatSysfsTells();
    void adaptersKeepTheirNumbers();
    void assignedByHand_data();
    void assignedByHand();
};

void TestPortList::listsWhatSysfsTells() {
    FakeSystem sys;
    sys.uart("ttyS0", 4);
    sys.uart("ttyS1", 4);
    sys.uart("ttyS3", 0); // a placeholder
    sys.virtualTerminal("tty1");
    sys.plug(Ftdi);
    sys.plug({"ttyACM0", "cdc_acm", "1-4", "2341", "0043", "Arduino Uno", "7563331", false});
    const QString root = sys.root();
    QCOMPARE(shown(listSerialPorts(sys.roots(), false), root),
             (QStringList{
                 "COM1|/dev/ttyS0||serial8250|16550A||||", "COM2|/dev/ttyS1||serial8250|16550A||||",
                 "|/dev/ttyACM0||cdc_acm||2341|0043|Arduino Uno|7563331",
                 "|/dev/ttyUSB0|/dev/serial/by-id/usb-Maker_FT232R_USB_UART_A1B2C3-if00-port0|"
                 "ftdi_sio||0403|6001|FT232R USB UART|A1B2C3"}));
}

void TestPortList::adaptersKeepTheirNumbers() {
    FakeSystem sys;
    sys.uart("ttyS0", 4);
    sys.uart("ttyS1", 4);
    sys.uart("ttyS2", 4); // a third UART keeps COM3, as on a PC
    const SystemRoots roots = sys.roots();
    QDir().mkpath(roots.ports);
    QVERIFY(QFile::link(roots.dev + "/ttyS1", roots.ports + "/com5")); // the user's own
    sys.plug(Ftdi);
    sys.plug(Ch341a);
    sys.plug(Ch341b);
    const QStringList given = numberNewAdapters(roots);
    QCOMPARE(given.size(), 3);
    QVERIFY2(given[0].startsWith("COM4: FT232R USB UART, serial A1B2C3, "), qPrintable(given[0]));
    QVERIFY2(given[1].startsWith("COM6: USB Serial, ") && given[1].endsWith("/dev/ttyUSB1"),
             qPrintable(given[1]));
    QVERIFY2(given[2].startsWith("COM7: ") && given[2].endsWith("/dev/ttyUSB2"),
             qPrintable(given[2]));
    QCOMPARE(QFile::symLinkTarget(roots.ports + "/com5"), roots.dev + "/ttyS1");
    QVERIFY(numberNewAdapters(roots).isEmpty()); // numbered once

    // Pulled out, the numbers stay theirs; plugged back under other names, they reach them.
    sys.unplug(Ftdi);
    sys.unplug(Ch341a);
    QCOMPARE(describePortNumber(6, roots),
             QStringLiteral("the USB adapter 1a86:7523 (path=1-2:1.0) is not plugged in"));
    QVERIFY(numberNewAdapters(roots).isEmpty());
    sys.plug({"ttyUSB5", "ftdi_sio", "1-1", "0403", "6001", "FT232R USB UART", "A1B2C3"});
    sys.plug({"ttyUSB6", "ch341", "1-2", "1a86", "7523", "USB Serial", "", false});
    QVERIFY(numberNewAdapters(roots).isEmpty());
    for (const auto& [n, device] :
         {std::pair{4, "/dev/ttyUSB5"}, {6, "/dev/ttyUSB6"}, {7, "/dev/ttyUSB2"}})
        QVERIFY2(describePortNumber(n, roots).endsWith(device),
                 qPrintable(describePortNumber(n, roots)));
}

void TestPortList::assignedByHand_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("result"); // the end of what COM8 then reaches, or the refusal
    QTest::newRow("a kernel name") << "ttyUSB0"
                                   << "/dev/ttyUSB0";
    QTest::newRow("a by-id name") << "usb-Maker_FT232R_USB_UART_A1B2C3-if00-port0"
                                  << "/dev/ttyUSB0";
    QTest::newRow("a UART's path") << "dev/ttyS0"
                                   << "16550A UART, /dev/ttyS0";
    QTest::newRow("nothing there") << "ttyUSB9"
                                   << "/dev/ttyUSB9: no such device";
    QTest::newRow("no serial port") << "dev/null"
                                    << "/dev/null is no serial port this system has";
}

void TestPortList::assignedByHand() {
    QFETCH(QString, device);
    QFETCH(QString, result);
    FakeSystem sys;
    sys.uart("ttyS0", 4);
    sys.plug(Ftdi);
    QFile null(sys.path("dev/null"));
    QVERIFY(null.open(QIODevice::WriteOnly));
    const SystemRoots roots = sys.roots();
    const QString given = device.startsWith("dev/") ? sys.path(device) : device;
    const QString refusal = assignPort(8, given, roots);
    const QString root = sys.root();
    if (result.contains(" no ")) {
        QCOMPARE(QString(refusal).replace(root, ""), result);
        return;
    }
    QCOMPARE(refusal, QString());
    QVERIFY2(describePortNumber(8, roots).replace(root, "").endsWith(result),
             qPrintable(describePortNumber(8, roots)));
}

QTEST_GUILESS_MAIN(TestPortList)
#include "tst_portlist.moc"
