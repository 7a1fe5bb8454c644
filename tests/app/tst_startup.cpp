#include "formfixture.h"
#include "textbox.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class StartupTest : public QObject {
    Q_OBJECT

    template <class T> static T* get(kav::Form1& form, const char* name) {
        return form.findChild<T*>(QLatin1String(name));
    }

private slots:
    void initTestCase() { kav::setUpApplication(); }

    void stateAfterStartUp() {
        FormFixture fx;
        QVERIFY(fx.start());
        kav::Form1& form = *fx.form;
        for (const char* box :
             {"Text1", "Text2", "Text3", "Text4", "Text6", "Text7", "Text8", "Text9"})
            QVERIFY2(get<kav::TextBox>(form, box)->text().isEmpty(), box);
        QCOMPARE(get<QLabel>(form, "Label7")->text(), QStringLiteral("0"));
        QCOMPARE(get<QLabel>(form, "Label12")->text(), QString());
        QVERIFY(!form.timer().isActive());
        QCOMPARE(form.TickCount(), qint16(0));
        QVERIFY(!form.comm().PortOpen());
        QCOMPARE(get<QPushButton>(form, "Command133")->palette().color(QPalette::Button),
                 QColor(192, 192, 192));
        QCOMPARE(get<QPushButton>(form, "Command134")->palette().color(QPalette::Button),
                 QColor(255, 0, 0));
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
        auto* combo = fx.form->findChild<QComboBox*>(name);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, entries);
        QCOMPARE(combo->currentText(), text);
    }

    void secondCopyInSameRuntimeFolderStops() {
        FormFixture first;
        QVERIFY(first.start());
        // Same folders: the lock is held by this process, which is alive.
        kav::Form1 second;
        QVERIFY(!second.Form_Load());
    }

    void closeRequestShutsDownAndIsSafeTwice() {
        FormFixture fx;
        QVERIFY(fx.start());
        fx.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(fx.form.get()));
        fx.form->timer().start();
        QVERIFY(fx.form->close()); // never refused
        QVERIFY(!fx.form->timer().isActive());
        QVERIFY(fx.form->isShuttingDown());
        fx.form->Command136_Click(); // a second run finds everything already done
        fx.form->Form_QueryUnload();
        QVERIFY(!fx.form->isVisible());
        QVERIFY(!fx.form->comm().PortOpen());
    }

    void noTickAfterShutdownStarts() {
        FormFixture fx;
        QVERIFY(fx.start());
        fx.form->close();
        const qint16 before = fx.form->TickCount();
        fx.form->Timer1_Timer();
        QCOMPARE(fx.form->TickCount(), before);
    }

    // Last: it runs and ends the application's own event loop.
    void exitButtonEndsTheEventLoop() {
        FormFixture fx;
        QVERIFY(fx.start());
        fx.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(fx.form.get()));
        QTimer::singleShot(0, fx.form.get(), [&] {
            QTest::mouseClick(get<QPushButton>(*fx.form, "Command136"), Qt::LeftButton);
        });
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
