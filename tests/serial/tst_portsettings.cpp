#include "portdevice.h"
#include "portsettings.h"
#include "wire.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kav;

Q_DECLARE_METATYPE(kav::LineErrors)

class TestPortSettings : public QObject {
    Q_OBJECT
private slots:
    void portNumberFromName_data();
    void portNumberFromName();
    void numberReading_data();
    void numberReading();
    void settings_data();
    void settings();
    void refusalNamesTheField_data();
    void refusalNamesTheField();
    void device_data();
    void device();
    void deviceFolderDefaults();
    void adapterLatency_data();
    void adapterLatency();
    void impossibleReply_data();
    void impossibleReply();
    void lineErrorsSince_data();
    void lineErrorsSince();
};

void TestPortSettings::portNumberFromName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("numberText");
    QTest::addColumn<int>("number");
    QTest::newRow("list COM 9") << "COM 9"
                                << " 9" << 9;
    QTest::newRow("list COM15") << "COM15"
                                << "15" << 15;
    QTest::newRow("start-up COM1") << "COM1"
                                   << "1" << 1;
    QTest::newRow("typed COM12") << "COM12"
                                 << "12" << 12;
    QTest::newRow("typed COM 12: last character only") << "COM 12"
                                                       << "2" << 2;
    QTest::newRow("COM alone") << "COM"
                               << "M" << 0;
    QTest::newRow("empty") << ""
                           << "" << 0;
    QTest::newRow("COM 0") << "COM 0"
                           << " 0" << 0;
    QTest::newRow("negative") << "COM-1"
                              << "-1" << -1;
    QTest::newRow("plus sign") << "COM+7"
                               << "+7" << 7;
    QTest::newRow("digit then blank") << "COM7 "
                                      << "7 " << 7;
    QTest::newRow("letter then digit") << "COMx5"
                                       << "x5" << 0;
    QTest::newRow("one digit") << "3"
                               << "3" << 3;
    QTest::newRow("two digits, not five long") << "12"
                                               << "2" << 2;
    QTest::newRow("trailing letter") << "COM 5x"
                                     << "x" << 0;
    QTest::newRow("full-width digit is no digit")
        << QString::fromUtf8("COM３") << QString::fromUtf8("３") << 0;
}

void TestPortSettings::portNumberFromName() {
    QFETCH(QString, name);
    QFETCH(QString, numberText);
    QFETCH(int, number);
    QCOMPARE(portNumberText(name), numberText);
    QCOMPARE(int(portNumber(portNumberText(name))), number);
}

void TestPortSettings::numberReading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("digits") << "42" << 42;
    QTest::newRow("leading blanks") << "   7" << 7;
    QTest::newRow("leading tab") << "\t7" << 7;
    QTest::newRow("minus") << "-5" << -5;
    QTest::newRow("blank then minus") << " -5" << -5;
    QTest::newRow("blank after sign stops") << "- 5" << 0;
    QTest::newRow("stops at letter") << "5a9" << 5;
    QTest::newRow("stops at point") << "1.9" << 1;
    QTest::newRow("no digit") << "a5" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("blank only") << " " << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("16-bit top") << "32767" << 32767;
    QTest::newRow("16-bit bottom") << "-32768" << -32768;
    QTest::newRow("beyond 16 bits held at the top") << "99999" << 32767;
    QTest::newRow("beyond 16 bits held at the bottom") << "-99999" << -32768;
}

void TestPortSettings::numberReading() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(int(portNumber(text)), value);
}

void TestPortSettings::settings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("oneAndHalf");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("stop");
    using P = QSerialPort;
    auto ok = [](const char* name, const char* text, int baud, P::Parity parity, P::DataBits data,
                 P::StopBits stop, bool oneAndHalf = false) {
        QTest::newRow(name) << QString::fromLatin1(text) << oneAndHalf << true << baud
                            << int(parity) << int(data) << int(stop);
    };
    auto bad = [](const char* name, const QString& text, bool oneAndHalf = false) {
        QTest::newRow(name) << text << oneAndHalf << false << 0 << 0 << 0 << 0;
    };
    ok("default", "9600,N,8,1", 9600, P::NoParity, P::Data8, P::OneStop);
    ok("even 7 2", "19200,E,7,2", 19200, P::EvenParity, P::Data7, P::TwoStop);
    ok("odd lower case", "300,o,5,1", 300, P::OddParity, P::Data5, P::OneStop);
    ok("mark", "1200,M,6,1", 1200, P::MarkParity, P::Data6, P::OneStop);
    ok("space lower case", "4800,s,8,2", 4800, P::SpaceParity, P::Data8, P::TwoStop);
    ok("none lower case", "115200,n,8,1", 115200, P::NoParity, P::Data8, P::OneStop);
    ok("rate not in the list", "230400,N,8,1", 230400, P::NoParity, P::Data8, P::OneStop);
    ok("odd rate", "12345,E,8,1", 12345, P::EvenParity, P::Data8, P::OneStop);
    ok("1.5 where the platform has it", "9600,N,5,1.5", 9600, P::NoParity, P::Data5,
       P::OneAndHalfStop, true);
    bad("1.5 where the platform has not", "9600,N,8,1.5");
    bad("letters in the baud", "96OO,N,8,1");
    bad("data and parity swapped", "9600,8,N,1");
    bad("blank before baud", " 9600,N,8,1");
    bad("blank in data", "9600,N,8 ,1");
    bad("blank parity", "9600, ,8,1");
    bad("empty", "");
    bad("three fields", "9600,N,8");
    bad("five fields", "9600,N,8,1,1");
    bad("empty baud", ",N,8,1");
    bad("empty parity", "9600,,8,1");
    bad("zero baud", "0,N,8,1");
    bad("negative baud", "-9600,N,8,1");
    bad("plus baud", "+9600,N,8,1");
    bad("decimal baud", "9600.5,N,8,1");
    bad("baud beyond 32 bits", "4294967296,N,8,1");
    bad("parity word", "9600,None,8,1");
    bad("unknown parity", "9600,X,8,1");
    bad("4 data bits", "9600,N,4,1");
    bad("9 data bits", "9600,N,9,1");
    bad("3 stop bits", "9600,N,8,3");
    bad("stop 1.0", "9600,N,8,1.0");
    bad("semicolons", "9600;N;8;1");
    bad("full-width digits", QString::fromUtf8("９６００,N,8,1"));
}

void TestPortSettings::settings() {
    QFETCH(QString, text);
    QFETCH(bool, oneAndHalf);
    QFETCH(bool, valid);
    const std::optional<LineSettings> line = parseSettings(text, oneAndHalf);
    QCOMPARE(line.has_value(), valid);
    if (!valid)
        return;
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, data);
    QFETCH(int, stop);
    QCOMPARE(line->baudRate, baud);
    QCOMPARE(int(line->parity), parity);
    QCOMPARE(int(line->dataBits), data);
    QCOMPARE(int(line->stopBits), stop);
}

void TestPortSettings::refusalNamesTheField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("oneAndHalf");
    QTest::addColumn<QString>("why"); // after 'the settings text "TEXT" cannot be applied: '
    QTest::newRow("three fields") << "9600,N,8" << false
                                  << "it has 3 fields, where it needs four joined by commas: baud "
                                     "rate, parity, data bits, stop bits";
    QTest::newRow("baud") << "96OO,N,8,1" << false
                          << "field 1, the baud rate, is \"96OO\"; it must be a whole number from "
                             "1, in digits only";
    QTest::newRow("first of two wrong") << "9600,X,9,1" << false
                                        << "field 2, the parity, is \"X\"; it must be N, E, O, M "
                                           "or S";
    QTest::newRow("stop bits") << "9600,N,8,1.5" << false
                               << "field 4, the stop bits, is \"1.5\"; it must be 1 or 2";
    QTest::newRow("stop bits, 1.5 there") << "9600,N,8,3" << true
                                          << "field 4, the stop bits, is \"3\"; it must be 1, "
                                             "1.5 or 2";
    QTest::newRow("taken") << "9600,N,8,1" << false << "";
}

void TestPortSettings::refusalNamesTheField() {
    QFETCH(QString, text);
    QFETCH(bool, oneAndHalf);
    QFETCH(QString, why);
    const QString head = QStringLiteral("the settings text \"%1\" cannot be applied: ").arg(text);
    QCOMPARE(settingsRefusal(text, oneAndHalf), why.isEmpty() ? QString() : head + why);
}

void TestPortSettings::device_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("entry");  // what the port folder holds for that number
    QTest::addColumn<QString>("device"); // with %1 for the port folder
    QTest::newRow("0 names no port") << 0 << ""
                                     << "";
    QTest::newRow("negative names no port") << -3 << ""
                                            << "";
#if defined(Q_OS_WIN)
    // QSerialPort itself adds the \\.\ prefix that COM10 and above need.
    for (int port : {1, 9, 10, 99})
        QTest::addRow("COM%d", port) << port << QString() << QStringLiteral("COM%1").arg(port);
#else
    QTest::newRow("no entry: first serial port") << 1 << ""
                                                 << "/dev/ttyS0";
    QTest::newRow("no entry: port 12") << 12 << ""
                                       << "/dev/ttyS11";
    QTest::newRow("link") << 3 << "link"
                          << "%1/com3";
    QTest::newRow("dangling link still counts") << 4 << "dangling"
                                                << "%1/com4";
    QTest::newRow("plain file") << 5 << "file"
                                << "%1/com5";
    QTest::newRow("folder") << 6 << "folder"
                            << "%1/com6";
#endif
}

void TestPortSettings::device() {
    QFETCH(int, port);
    QFETCH(QString, entry);
    QFETCH(QString, device);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString folder = config.path() + "/kavetta/ports";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/com%1").arg(port);
    if (entry == "link")
        QVERIFY(QFile::link("/dev/null", path));
    else if (entry == "dangling")
        QVERIFY(QFile::link(folder + "/nothing-here", path));
    else if (entry == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (entry == "folder")
        QVERIFY(QDir().mkpath(path));
    QCOMPARE(portDevice(port), device.contains("%1") ? device.arg(folder) : device);
}

void TestPortSettings::deviceFolderDefaults() {
#if defined(Q_OS_WIN)
    QSKIP("Windows has no port folder");
#endif
    // Without XDG_CONFIG_HOME (or with a relative one, which the base-directory rules ignore)
    // the folder is under ~/.config.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QVERIFY(QDir().mkpath(home.path() + "/.config/kavetta/ports"));
    QVERIFY(QFile::link("/dev/null", home.path() + "/.config/kavetta/ports/com2"));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(portDevice(2), home.path() + "/.config/kavetta/ports/com2");
    qputenv("XDG_CONFIG_HOME", "relative/folder");
    QCOMPARE(portDevice(2), home.path() + "/.config/kavetta/ports/com2");
    QCOMPARE(portDevice(3), QStringLiteral("/dev/ttyS2"));
    qputenv("HOME", oldHome);
}

void TestPortSettings::adapterLatency_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("timer"); // what the driver's latency_timer holds; none if empty
    QTest::addColumn<int>("ms");           // -1 for none
    QTest::newRow("FTDI default") << "/dev/ttyUSB0" << QByteArray("16\n") << 16;
    QTest::newRow("lowered") << "/dev/ttyUSB1" << QByteArray("1\n") << 1;
    QTest::newRow("no USB adapter") << "/dev/ttyS1" << QByteArray() << -1;
    QTest::newRow("unreadable figure") << "/dev/ttyUSB2" << QByteArray("fast\n") << -1;
}

void TestPortSettings::adapterLatency() {
#if defined(Q_OS_WIN)
    QSKIP("the FTDI driver keeps it in the registry");
#endif
    QFETCH(QString, device);
    QFETCH(QByteArray, timer);
    QFETCH(int, ms);
    QTemporaryDir sys;
    QVERIFY(sys.isValid());
    const QString folder = sys.path() + "/bus/usb-serial/devices/" + QFileInfo(device).fileName();
    if (!timer.isEmpty()) {
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + "/latency_timer");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(timer) == timer.size());
    }
    QCOMPARE(adapterLatencyMs(device, sys.path()).value_or(-1), ms);
}

void TestPortSettings::impossibleReply_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("characters");
    QTest::addColumn<qint64>("firstNs"); // the reply's first byte, from the write's start
    QTest::addColumn<bool>("impossible");
    // 8N1 is 10 bits a character: 5 characters at 9600 take 5.208 ms.
    QTest::newRow("just after the message crossed")
        << "9600,N,8,1" << 5 << qint64(5'209'000) << false;
    QTest::newRow("an echo of the first character")
        << "9600,N,8,1" << 5 << qint64(1'100'000) << true;
    // 7E2 is 11 bits: 5 characters take 5.729 ms, which 8N1 would have crossed.
    QTest::newRow("parity and two stop bits count")
        << "9600,E,7,2" << 5 << qint64(5'500'000) << true;
    QTest::newRow("1.5 stop bits count half") << "300,N,5,1.5" << 2 << qint64(48'000'000) << true;
    QTest::newRow("a fast line") << "115200,N,8,1" << 5 << qint64(450'000) << false;
    QTest::newRow("no reply") << "9600,N,8,1" << 5 << qint64(-1) << false;
}

void TestPortSettings::impossibleReply() {
    QFETCH(QString, settings);
    QFETCH(int, characters);
    QFETCH(qint64, firstNs);
    QFETCH(bool, impossible);
    const std::optional<LineSettings> line = parseSettings(settings, true);
    QVERIFY(line);
    QCOMPARE(kav::impossibleReply(firstNs, characters, *line), impossible);
}

void TestPortSettings::lineErrorsSince_data() {
    QTest::addColumn<LineErrors>("before");
    QTest::addColumn<LineErrors>("after");
    QTest::addColumn<LineErrors>("counted");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing") << LineErrors{3, 0, 1, 7} << LineErrors{3, 0, 1, 7} << LineErrors{}
                             << "";
    QTest::newRow("a break and a frame error") << LineErrors{3, 0, 1, 7} << LineErrors{4, 0, 1, 8}
                                               << LineErrors{1, 0, 0, 1} << "frame 1, break 1";
    QTest::newRow("a counter that wrapped")
        << LineErrors{0, 0xFFFFFFFEu, 0, 0} << LineErrors{0, 3, 0, 0} << LineErrors{0, 5, 0, 0}
        << "parity 5";
}

void TestPortSettings::lineErrorsSince() {
    QFETCH(LineErrors, before);
    QFETCH(LineErrors, after);
    QFETCH(LineErrors, counted);
    QFETCH(QString, text);
    QCOMPARE(after.since(before), counted);
    QCOMPARE(lineErrorsText(after.since(before)), text);
}

QTEST_GUILESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
