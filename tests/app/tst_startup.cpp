#include "formfixture.h"

#include <QCheckBox>
#include <QtTest>

using kavtest::FormFixture;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { kav::setUpApplication(); }

    void stateAfterStartUp() {
        FormFixture fx;
        QVERIFY(fx.start());
        kav::Form1& form = *fx.form;
        for (const char* box :
             {"Text1", "Text2", "Text3", "Text4", "Text6", "Text7", "Text8", "Text9", "Label12"})
            QVERIFY2(fx.text(box).isEmpty(), box);
        QCOMPARE(fx.text("Label7"), QStringLiteral("0"));
        QVERIFY(!fx.get<QCheckBox>("Check1")->isChecked());
        QVERIFY(!form.timer().isActive());
        QCOMPARE(form.TickCount(), qint16(0));
        QVERIFY(!form.comm().PortOpen());
        QVERIFY(form.sendBuffer().isEmpty());
        QVERIFY(form.reception().RecvChunk.isEmpty());
        QCOMPARE(form.reception().RecvCount, qint16(0));
        for (int n = 1; n <= 4; ++n)
            QVERIFY(form.slotStore().slot(n).data.isEmpty());
    }

    void portLists_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        QStringList ports;
        for (int n = 1; n <= 9; ++n)
            ports << QStringLiteral("COM %1").arg(n);
        for (int n = 10; n <= 15; ++n)
            ports << QStringLiteral("COM%1").arg(n);
        QTest::newRow("port") << "Combo1" << ports << "COM1";
        QTest::newRow("baud") << "Combo2"
                              << QStringList{"300",  "600",   "1200",  "2400",  "4800",
                                             "9600", "19200", "38400", "57600", "115200"}
                              << "9600";
        QTest::newRow("data bits") << "Combo3" << QStringList{"7", "8"} << "8";
        QTest::newRow("parity") << "Combo4" << QStringList{"N", "E", "O"} << "N";
        QTest::newRow("stop bits") << "Combo5" << QStringList{"1", "2"} << "1";
    }
    void portLists() {
        QFETCH(QString, name);
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        FormFixture fx;
        QVERIFY(fx.start());
        auto* combo = fx.get<QComboBox>(name);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, entries);
        QCOMPARE(combo->currentText(), text);
    }

    void closeRequestShutsDownAndIsSafeTwice() {
        FormFixture fx;
        QVERIFY(fx.start(FormFixture::Exposed));
        fx.timer()->start();
        QVERIFY(fx.form->close()); // never refused
        QVERIFY(!fx.form->timer().isActive());
        QVERIFY(fx.form->isShuttingDown());
        fx.button(136)->click(); // a second run finds everything already done
        QVERIFY(fx.form->close());
        QVERIFY(!fx.form->isVisible());
    }

    // Last: it runs and ends the application's own event loop.
    void exitButtonEndsTheEventLoop() {
        FormFixture fx;
        QVERIFY(fx.start(FormFixture::Exposed));
        QTimer::singleShot(0, fx.form.get(), [&] { fx.click("Command136"); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        bool timedOut = false;
        connect(&watchdog, &QTimer::timeout, [&] {
            timedOut = true;
            QCoreApplication::exit(3);
        });
        watchdog.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!timedOut);
        QVERIFY(!fx.form->isVisible());
        QVERIFY(fx.form->isShuttingDown());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
