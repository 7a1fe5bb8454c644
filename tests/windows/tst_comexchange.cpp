#include "boxes.h"
#include "formfixture.h"
#include "ticks.h"

using namespace kavtest;

// One whole exchange as a Windows user makes it: OPEN on COM1, a message, send, and the far
// end's reply in the views with its byte count and reply time. COM1 is a pseudo-terminal of the
// build machine, mapped by Wine, with the echoing virtual device behind it (run-exchange.sh).
class TestComExchange : public QObject {
    Q_OBJECT
private slots:
    void sendAndReceiveOnCom1() {
        FormFixture fx;
        QVERIFY(fx.start(FormFixture::Exposed));
        kav::Form1* form = fx.form.get();
        QCOMPARE(fx.text("Combo1"), QStringLiteral("COM1"));
        fx.click("Command133");
        QVERIFY(form->comm().PortOpen());
        for (kav::Code code : {0x02, 0x05, 0x03})
            fx.clickCode(code);
        fx.click("Command130");
        QTRY_COMPARE_WITH_TIMEOUT(fx.text("Label7"), QStringLiteral("3"), 10000);
        QCOMPARE(fx.text("Text2"), QStringLiteral("020503"));
        QCOMPARE(fx.text("Text4"), QStringLiteral("[STX][ENQ][ETX]"));
        // The device answers after about 0.3 s: the timer ran and stopped at the reply.
        QVERIFY(!form->timer().isActive());
        QVERIFY(form->TickCount() >= 2);
        QCOMPARE(fx.text("Label12"), kav::tickText(form->TickCount()));
        qInfo("reply time %s s", qPrintable(fx.text("Label12")));
        // A second exchange on the same open port: reading goes on after the first reply.
        fx.click("Command131");
        fx.clickCode(0x06);
        fx.click("Command130");
        QTRY_COMPARE_WITH_TIMEOUT(fx.text("Text2"), QStringLiteral("06"), 10000);
        QCOMPARE(fx.text("Label7"), QStringLiteral("1"));
        // The device goes away, as an unplugged adapter does: the port closes by itself and the
        // operator is told once.
        BoxAnswerer boxes;
        QFile unplug(qEnvironmentVariable("KAVETTA_UNPLUG"));
        QVERIFY(unplug.open(QIODevice::WriteOnly));
        unplug.close();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 1, 10000);
        QVERIFY(boxes.seen[0].text.startsWith(QStringLiteral("COM PORT")));
        QVERIFY(!form->comm().PortOpen());
    }
};

QTEST_MAIN(TestComExchange)
#include "tst_comexchange.moc"
