#include "boxes.h"
#include "formfixture.h"
#include "mnemonics.h"
#include "ptyfixture.h"
#include "ticks.h"

#include <QCheckBox>
#include <QElapsedTimer>

using namespace kav;
using namespace kavtest;

Q_DECLARE_METATYPE(kav::CodeString)

// Send and receive through a real window and a pseudo-terminal standing in for the far end.
class TestReceptionLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void arrivalsShowInAllViews_data();
    void arrivalsShowInAllViews();
    void splitDoubleByteArrivesAsTwoBytes();
    void twoReceptionsAfterOneSendShowTogether();
    void limitLeavesBytesWaiting();
    void sendWithWaitingBytes_data();
    void sendWithWaitingBytes();
    void everyKeypadCodeGoesOnTheWire();
    void sendWarnsThenStartsTimer_data();
    void sendWarnsThenStartsTimer();
    void replyStopsTimer();
    void clearDiscardsWaitingBytes();

private:
    QString label(const char* name) { return fx->text(name); }
    QString box(const char* name) { return fx->text(name); }
    void click(const char* name) { fx->click(name); }
    void fillPastLimit(const QByteArray& left);

    std::unique_ptr<Pty> pty;
    std::unique_ptr<FormFixture> fx;
    Form1* form = nullptr;
};

void TestReceptionLine::init() {
    fx = std::make_unique<FormFixture>();
    QVERIFY(fx->start(FormFixture::Exposed));
    form = fx->form.get();
    pty = std::make_unique<Pty>();
    QVERIFY(pty->ok());
    QVERIFY(linkPort(1, pty->slaveName));
    click("Command133");
    QVERIFY(form->comm().PortOpen());
}

void TestReceptionLine::cleanup() {
    fx.reset();
    pty.reset();
}

// 999 characters, then 10 more taken whole, then `left` arriving once the data is full.
void TestReceptionLine::fillPastLimit(const QByteArray& left) {
    QVERIFY(pty->write(QByteArray(999, 'x')));
    QTRY_COMPARE(label("Label7"), QStringLiteral("999"));
    QVERIFY(pty->write("0123456789"));
    QTRY_COMPARE(label("Label7"), QStringLiteral("1009"));
    QCOMPARE(form->reception().RecvData.size(), 1009);
    QVERIFY(pty->write(left));
    QTRY_COMPARE(label("Label7"), QStringLiteral("Over 1000"));
    QTRY_COMPARE(form->comm().InBufferCount(), int(left.size()));
    QCOMPARE(form->reception().RecvData.size(), 1009);
    QVERIFY(box("Text2").endsWith(QStringLiteral("30313233343536373839")));
}

void TestReceptionLine::arrivalsShowInAllViews_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");  // what RecvText holds
    QTest::addColumn<QString>("shown"); // what Text4 shows
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("codes");
    // Every kind of token once; the full tables are the reception and code-page suites'.
    const QString standIn(StandIn);
    QTest::newRow("A CR LF together") << QByteArray("A\r\n") << "A[CR][LF]"
                                      << "A[CR][LF]"
                                      << "410D0A" << 3;
    QTest::newRow("NUL") << QByteArray(1, '\0') << QString(QChar(0)) << QString(QChar(0x2400))
                         << "00" << 1;
    QTest::newRow("STX ETX DEL") << QByteArray("\x02z\x03\x7f")
                                 << QString::fromUtf16(u"[STX]z[ETX]\x7f")
                                 << QString::fromUtf16(u"[STX]z[ETX]\u2421") << "027A037F" << 4;
    QTest::newRow("lone 0xFF") << QByteArray("\xff") << standIn << standIn << "FF" << 1;
    QTest::newRow("lead then CR") << QByteArray("\x81\r") << standIn + "[CR]" << standIn + "[CR]"
                                  << "810D" << 2;
    QTest::newRow("double-byte in one write")
        << QByteArray("\x82\xa0!") << QString::fromUtf16(u"あ!") << QString::fromUtf16(u"あ!")
        << "82A021" << 2;
    QTest::newRow("half-width katakana") << QByteArray("\xb1\xdf") << QString::fromUtf16(u"ｱﾟ")
                                         << QString::fromUtf16(u"ｱﾟ") << "B1DF" << 2;
}

void TestReceptionLine::arrivalsShowInAllViews() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, hex);
    QFETCH(int, codes);
    QVERIFY(pty->write(bytes));
    QTRY_COMPARE(box("Text2"), hex);
    QCOMPARE(label("Label7"), QString::number(codes));
    QCOMPARE(form->reception().RecvText, text);
    QCOMPARE(box("Text4"), shown);
    QCOMPARE(form->reception().RecvHex, hex);
    QCOMPARE(bytesOf(form->reception().RecvData), bytes);
}

void TestReceptionLine::splitDoubleByteArrivesAsTwoBytes() {
    QElapsedTimer apart;
    apart.start();
    QVERIFY(pty->write("\x82"));
    // The lead byte comes through on its own once nothing follows it.
    QTRY_COMPARE(box("Text2"), QStringLiteral("82"));
    QCOMPARE(label("Label7"), QStringLiteral("1"));
    QTest::qWait(int(qMax<qint64>(0, 200 - apart.elapsed())));
    QVERIFY(pty->write("\xa0"));
    // Too late to be its trail: each byte stands alone, in arrival order, none lost.
    QTRY_COMPARE(box("Text2"), QStringLiteral("82A0"));
    QCOMPARE(label("Label7"), QStringLiteral("2"));
    QCOMPARE(form->reception().RecvData, (CodeString{0x82, 0xA0}));
    QCOMPARE(box("Text4"), QString(2, StandIn));
}

void TestReceptionLine::twoReceptionsAfterOneSendShowTogether() {
    click("Command3");
    click("Command130");
    QCOMPARE(pty->read(1), QByteArray("\x02"));
    QVERIFY(pty->write("\x06O"));
    QTRY_COMPARE(label("Label7"), QStringLiteral("2"));
    QVERIFY(pty->write("K\r"));
    QTRY_COMPARE(label("Label7"), QStringLiteral("4"));
    QCOMPARE(box("Text4"), QStringLiteral("[ACK]OK[CR]"));
    QCOMPARE(box("Text2"), QStringLiteral("064F4B0D"));
    QCOMPARE(form->reception().RecvChunk, (CodeString{'K', 13}));
}

void TestReceptionLine::limitLeavesBytesWaiting() {
    fillPastLimit("later");
    // Further arrivals while full are not read either.
    QVERIFY(pty->write("!"));
    QTRY_COMPARE(form->comm().InBufferCount(), 6);
    QCOMPARE(label("Label7"), QStringLiteral("Over 1000"));
    QCOMPARE(form->reception().RecvData.size(), 1009);
}

void TestReceptionLine::sendWithWaitingBytes_data() {
    QTest::addColumn<bool>("autoClear");
    QTest::addColumn<QString>("text4AfterReply");
    QTest::addColumn<QString>("text2AfterReply");
    QTest::addColumn<QString>("label7AfterReply");
    // Ticked: the waiting bytes are discarded before the send. Not ticked: the reply's event
    // takes them too, and the views keep the old reception until then.
    QTest::newRow("auto-clear ticked") << true << "Z"
                                       << "5A"
                                       << "1";
    QTest::newRow("auto-clear not ticked") << false << "waitZ"
                                           << "776169745A"
                                           << "5";
}

void TestReceptionLine::sendWithWaitingBytes() {
    QFETCH(bool, autoClear);
    QFETCH(QString, text4AfterReply);
    QFETCH(QString, text2AfterReply);
    QFETCH(QString, label7AfterReply);
    fillPastLimit("wait");
    const QString oldText2 = box("Text2");
    const QString oldText4 = box("Text4");
    fx->get<QCheckBox>("Check1")->setChecked(autoClear);
    click("Command5");
    BoxAnswerer boxes;
    click("Command130");
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(form->reception().RecvData.isEmpty());
    QVERIFY(form->timer().isActive());
    QCOMPARE(box("Text2"), autoClear ? QString() : oldText2);
    QCOMPARE(box("Text4"), autoClear ? QString() : oldText4);
    QCOMPARE(label("Label7"), autoClear ? QStringLiteral("0") : QStringLiteral("Over 1000"));
    QCOMPARE(form->comm().InBufferCount(), autoClear ? 0 : 4);
    QCOMPARE(pty->read(1), QByteArray("\x04"));

    QVERIFY(pty->write("Z"));
    QTRY_COMPARE(label("Label7"), label7AfterReply);
    QCOMPARE(box("Text4"), text4AfterReply);
    QCOMPARE(box("Text2"), text2AfterReply);
    QVERIFY(!form->timer().isActive());
    QCOMPARE(form->sendBuffer().SendData(), CodeString{4});
}

void TestReceptionLine::everyKeypadCodeGoesOnTheWire() {
    QByteArray expected;
    for (int number = 1; number <= 48; ++number) {
        if (number >= 29 && number <= 32)
            continue;
        const QByteArray name = "Command" + QByteArray::number(number);
        click(name.constData());
    }
    for (int code = 0; code <= 27; ++code)
        expected += char(code);
    for (int code = 32; code <= 47; ++code)
        expected += char(code);
    QCOMPARE(form->sendBuffer().SendData().size(), 44);
    BoxAnswerer boxes;
    click("Command130");
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(pty->read(expected.size()), expected);
    // One write of the buffer as held: nothing added after it.
    QCOMPARE(pty->read(1, 300), QByteArray());
    QCOMPARE(form->sendBuffer().SendHex(), QString::fromLatin1(expected.toHex().toUpper()));
    // The same bytes again on the next press.
    click("Command130");
    QCOMPARE(pty->read(expected.size()), expected);
}

void TestReceptionLine::sendWarnsThenStartsTimer_data() {
    const QString data = QStringLiteral("データをセットしてください。");
    const QString port = QStringLiteral("PORTをOPENにしてください。");
    QTest::addColumn<bool>("closeFirst");
    QTest::addColumn<bool>("bufferSet");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("open, empty buffer") << false << false << QStringList{data} << QByteArray();
    QTest::newRow("closed, empty buffer")
        << true << false << QStringList{data, port} << QByteArray();
    QTest::newRow("closed, buffer set") << true << true << QStringList{port} << QByteArray();
    QTest::newRow("open, buffer set") << false << true << QStringList() << QByteArray("\x1b");
}

void TestReceptionLine::sendWarnsThenStartsTimer() {
    QFETCH(bool, closeFirst);
    QFETCH(bool, bufferSet);
    QFETCH(QStringList, warnings);
    QFETCH(QByteArray, wire);
    if (closeFirst)
        click("Command134");
    QCOMPARE(form->comm().PortOpen(), !closeFirst);
    if (bufferSet)
        click("Command28");
    const CodeString before = form->sendBuffer().SendData();
    const QString text3 = box("Text3");
    BoxAnswerer boxes;
    click("Command130");
    QCOMPARE(boxes.texts(), warnings);
    for (const BoxSeen& seen : boxes.seen) {
        QCOMPARE(seen.title, QStringLiteral("Kavetta"));
        QCOMPARE(seen.buttonCount, qsizetype(1));
    }
    QVERIFY(form->timer().isActive());
    QCOMPARE(form->TickCount(), qint16(0));
    QCOMPARE(pty->read(wire.size() + 1, 300), wire);
    QCOMPARE(form->sendBuffer().SendData(), before);
    QCOMPARE(box("Text3"), text3);
    // With no reply the timer counts on from 0.
    QTRY_VERIFY(form->TickCount() >= 4);
    QVERIFY(form->timer().isActive());
    QCOMPARE(label("Label12"), tickText(form->TickCount()));
}

void TestReceptionLine::replyStopsTimer() {
    click("Command2");
    click("Command130");
    QCOMPARE(pty->read(1), QByteArray("\x01"));
    QTRY_VERIFY(form->TickCount() >= 3);
    QVERIFY(pty->write("\x06"));
    QTRY_COMPARE(label("Label7"), QStringLiteral("1"));
    QVERIFY(!form->timer().isActive());
    const QString shown = label("Label12");
    QCOMPARE(shown, tickText(form->TickCount()));
    QTest::qWait(250);
    QCOMPARE(label("Label12"), shown);
}

void TestReceptionLine::clearDiscardsWaitingBytes() {
    fillPastLimit("gone");
    fx->timer()->start();
    click("Command29");
    QCOMPARE(form->comm().InBufferCount(), 0);
    QCOMPARE(label("Label7"), QStringLiteral("0"));
    QVERIFY(pty->write("new"));
    QTRY_COMPARE(label("Label7"), QStringLiteral("3"));
    QCOMPARE(box("Text4"), QStringLiteral("new"));
}

QTEST_MAIN(TestReceptionLine)
#include "tst_reception_line.moc"
