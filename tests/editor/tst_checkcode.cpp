// Check codes against their published check values and real frames, put in and verified.

#include "checkcode.h"

#include <QTest>

using namespace kav;

class TestCheckCode : public QObject {
    Q_OBJECT
private slots:
    void crcCheckValues();
    void putInPlace_data();
    void putInPlace();
    void verified_data();
    void verified();
};

void TestCheckCode::crcCheckValues() {
    // The check value each CRC's catalogue entry gives for "123456789".
    const QByteArray nine("123456789");
    QCOMPARE(crc16Modbus(nine), quint16(0x4B37));
    QCOMPARE(crc16Ccitt(nine), quint16(0x29B1));
    QCOMPARE(crc16Xmodem(nine), quint16(0x31C3));
}

void TestCheckCode::putInPlace_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("message"); // hexadecimal
    QTest::addColumn<QByteArray>("framed");  // hexadecimal; empty where it is refused
    QTest::newRow("bcc") << "bcc" << QByteArray("0241424303") << QByteArray("024142430343");
    QTest::newRow("bcc, text after the ETX") << "bcc"
                                             << QByteArray("02414303"
                                                           "0D")
                                             << QByteArray("0241430301"
                                                           "0D");
    QTest::newRow("bcc, no STX or ETX") << "bcc" << QByteArray("4142") << QByteArray("414203");
    QTest::newRow("sum") << "sum" << QByteArray("0241424303") << QByteArray("0241424303C9");
    QTest::newRow("xor-ascii") << "xor-ascii" << QByteArray("0241424303")
                               << QByteArray("02414243033433");
    QTest::newRow("sum-ascii") << "sum-ascii" << QByteArray("0241424303")
                               << QByteArray("02414243034339");
    // Read one holding register of slave 1.
    QTest::newRow("modbus-ascii") << "modbus-ascii" << QByteArray(":010300000001\r\n").toHex()
                                  << QByteArray(":010300000001FB\r\n").toHex();
    QTest::newRow("modbus-ascii, odd digits")
        << "modbus-ascii" << QByteArray(":0103000\r\n").toHex() << QByteArray();
    QTest::newRow("crc16-modbus") << "crc16-modbus" << QByteArray("010300000001")
                                  << QByteArray("010300000001840A");
    QTest::newRow("crc16-ccitt") << "crc16-ccitt" << QByteArray("123456789").toHex()
                                 << QByteArray("123456789").toHex() + "29b1";
    QTest::newRow("crc16-xmodem") << "crc16-xmodem" << QByteArray("123456789").toHex()
                                  << QByteArray("123456789").toHex() + "31c3";
}

void TestCheckCode::putInPlace() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, framed);
    const std::optional<CheckKind> named = checkKindNamed(kind);
    QVERIFY(named);
    const CheckedFrame frame = withCheck(*named, QByteArray::fromHex(message));
    QCOMPARE(frame.bytes.toHex(), framed.toLower());
    QCOMPARE(frame.error.isEmpty(), !framed.isEmpty());
}

void TestCheckCode::verified_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("reply"); // hexadecimal
    QTest::addColumn<QString>("received");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bcc right") << "bcc" << QByteArray("024142430343") << "43"
                               << "43";
    QTest::newRow("bcc wrong") << "bcc" << QByteArray("024142430344") << "44"
                               << "43";
    QTest::newRow("bcc missing") << "bcc" << QByteArray("0241424303") << ""
                                 << "43";
    QTest::newRow("sum-ascii right") << "sum-ascii" << QByteArray("02414243034339") << "C9"
                                     << "C9";
    QTest::newRow("modbus-ascii wrong")
        << "modbus-ascii" << QByteArray(":010300000001FA\r\n").toHex() << "FA"
        << "FB";
    QTest::newRow("crc16-modbus right")
        << "crc16-modbus" << QByteArray("010300000001840A") << "840A"
        << "840A";
    QTest::newRow("crc16-xmodem wrong")
        << "crc16-xmodem" << QByteArray("123456789").toHex() + "31c4"
        << "31C4"
        << "31C3";
    QTest::newRow("too short") << "crc16-ccitt" << QByteArray("29") << ""
                               << "";
    // A lone [ACK] or [NAK] carries none and needs none; an [ACK] with more is a frame.
    QTest::newRow("a lone ACK") << "bcc" << QByteArray("06") << ""
                                << "none";
    QTest::newRow("a lone NAK") << "crc16-modbus" << QByteArray("15") << ""
                                << "none";
    QTest::newRow("ACK and more") << "sum" << QByteArray("064107") << "07"
                                  << "47";
}

void TestCheckCode::verified() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, reply);
    QFETCH(QString, received);
    QFETCH(QString, expected);
    const CheckKind named = *checkKindNamed(kind);
    const CheckVerdict verdict = verifyCheck(named, QByteArray::fromHex(reply));
    const bool none = expected == u"none";
    QCOMPARE(verdict.none, none);
    QCOMPARE(checkCodeText(named, verdict.received), received);
    QCOMPARE(checkCodeText(named, verdict.expected), none ? QString() : expected);
    QCOMPARE(verdict.ok(), none || (!expected.isEmpty() && received == expected));
    // And none is put into one.
    if (none)
        QCOMPARE(withCheck(named, QByteArray::fromHex(reply)).bytes, QByteArray::fromHex(reply));
}

QTEST_GUILESS_MAIN(TestCheckCode)
#include "tst_checkcode.moc"
