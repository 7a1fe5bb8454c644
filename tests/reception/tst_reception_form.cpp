#include "boxes.h"
#include "formfixture.h"

#include <QCheckBox>
#include <QPushButton>

using namespace kav;
using namespace kavtest;

namespace {
const QString PortWarning = QStringLiteral("PORTをOPENにしてください。");
} // namespace

// The window's reception handlers with the port closed: timer, send warnings, clear button.
class TestReceptionForm : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void timerShowsEachTick();
    void sendEmptiesAccumulatedDataOnly();
    void sendRestartsRunningCount();
    void clearWithPortClosed();
    void nothingHandledAfterShutdown();

private:
    std::unique_ptr<FormFixture> fx;
    Form1* form = nullptr;
};

void TestReceptionForm::init() {
    fx = std::make_unique<FormFixture>();
    QVERIFY(fx->start(FormFixture::Exposed));
    form = fx->form.get();
    QVERIFY(!form->comm().PortOpen());
}

void TestReceptionForm::cleanup() {
    fx.reset();
}

void TestReceptionForm::timerShowsEachTick() {
    // How ticks read and wrap is the tick functions' table; here the handler shows each one.
    for (int i = 0; i < 601; ++i)
        fx->tick();
    QCOMPARE(fx->text("Label12"), QStringLiteral("60.1"));
    QCOMPARE(form->TickCount(), qint16(601));
    fx->tick();
    QCOMPARE(fx->text("Label12"), QStringLiteral("0.1"));
    QCOMPARE(form->TickCount(), qint16(1));
}

void TestReceptionForm::sendEmptiesAccumulatedDataOnly() {
    // Auto-clear belongs to the open port: with the port closed the views stay as they are.
    fx->get<QCheckBox>("Check1")->setChecked(true);
    fx->get<TextBox>("Text4")->setText(QStringLiteral("OK"));
    fx->get<TextBox>("Text2")->setText(QStringLiteral("4F4B"));
    fx->get<QLabel>("Label7")->setText(QStringLiteral("2"));
    fx->click("Command2");
    BoxAnswerer boxes;
    fx->click("Command130");
    QCOMPARE(boxes.texts(), QStringList{PortWarning});
    QCOMPARE(fx->text("Text4"), QStringLiteral("OK"));
    QCOMPARE(fx->text("Text2"), QStringLiteral("4F4B"));
    QCOMPARE(fx->text("Label7"), QStringLiteral("2"));
    QVERIFY(form->reception().RecvData.isEmpty());
    QVERIFY(form->reception().RecvText.isEmpty());
    QVERIFY(form->reception().RecvHex.isEmpty());
}

void TestReceptionForm::sendRestartsRunningCount() {
    fx->click("Command2");
    BoxAnswerer boxes;
    fx->click("Command130");
    for (int i = 0; i < 7; ++i)
        fx->tick();
    QCOMPARE(fx->text("Label12"), QStringLiteral("0.7"));
    fx->timer()->stop(); // only the handler's own ticks below
    fx->click("Command130");
    QCOMPARE(boxes.seen.size(), 2);
    QVERIFY(form->timer().isActive());
    QCOMPARE(form->TickCount(), qint16(0));
    QCOMPARE(fx->text("Label12"), QStringLiteral("0.7")); // until the next tick overwrites it
    fx->timer()->stop();
    fx->tick();
    QCOMPARE(fx->text("Label12"), QStringLiteral("0.1"));
}

void TestReceptionForm::clearWithPortClosed() {
    for (int i = 0; i < 23; ++i)
        fx->tick();
    fx->click("Command2");
    fx->click("Command5");
    fx->get<TextBox>("Text4")->setText(QStringLiteral("x"));
    fx->get<TextBox>("Text2")->setText(QStringLiteral("78"));
    fx->get<QLabel>("Label7")->setText(QStringLiteral("1"));
    fx->get("Command29")->setFocus();
    fx->timer()->start();
    fx->click("Command29");
    QCOMPARE(fx->text("Text4"), QString());
    QCOMPARE(fx->text("Text2"), QString());
    QCOMPARE(fx->text("Label7"), QStringLiteral("0"));
    QCOMPARE(form->reception().RecvCount, qint16(0));
    QVERIFY(form->reception().RecvData.isEmpty());
    QVERIFY(!form->timer().isActive());
    QVERIFY(!form->comm().PortOpen());
    QCOMPARE(QApplication::focusWidget(), fx->get("Text3"));
    // The time last shown stays, and the send buffer is not the receive side's to touch.
    QCOMPARE(fx->text("Label12"), QStringLiteral("2.3"));
    QCOMPARE(form->TickCount(), qint16(23));
    QCOMPARE(form->sendBuffer().SendData(), (CodeString{1, 4}));
    QCOMPARE(fx->text("Text3"), QStringLiteral("[SOH][EOT]"));
}

void TestReceptionForm::nothingHandledAfterShutdown() {
    fx->tick();
    fx->button(136)->click();
    QVERIFY(form->isShuttingDown());
    QVERIFY(!form->timer().isActive());
    fx->tick();
    BoxAnswerer boxes;
    fx->button(130)->click();
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(!form->timer().isActive());
    QCOMPARE(form->TickCount(), qint16(1));
    QCOMPARE(fx->text("Label12"), QStringLiteral("0.1"));
    QCOMPARE(fx->text("Label7"), QStringLiteral("0"));
}

QTEST_MAIN(TestReceptionForm)
#include "tst_reception_form.moc"
