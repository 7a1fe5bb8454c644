#include "boxes.h"
#include "form1.h"
#include "textbox.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace kav;

namespace {
const QString PortWarning = QStringLiteral("PORTをOPENにしてください。");
} // namespace

// The window's reception handlers with the port closed: timer, send warnings, clear button.
class TestReceptionForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void timerWrapsAfter601Ticks();
    void sendEmptiesAccumulatedDataOnly();
    void sendRestartsRunningCount();
    void clearWithPortClosed();
    void clearLeavesTimeShown();
    void nothingHandledAfterShutdown();

private:
    template <typename T> T* child(const char* name) {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        Q_ASSERT(widget);
        return widget;
    }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    QString box(const char* name) { return child<TextBox>(name)->text(); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }

    QTemporaryDir runtimeDir;
    QTemporaryDir configDir;
    std::unique_ptr<Form1> form;
};

void TestReceptionForm::initTestCase() {
    QVERIFY(runtimeDir.isValid() && configDir.isValid());
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
}

void TestReceptionForm::init() {
    form = std::make_unique<Form1>();
    QVERIFY(form->Form_Load());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QVERIFY(!form->comm().PortOpen());
}

void TestReceptionForm::cleanup() {
    form.reset();
}

void TestReceptionForm::timerWrapsAfter601Ticks() {
    for (int i = 0; i < 599; ++i)
        form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("59.9"));
    form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("60"));
    form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("60.1"));
    QCOMPARE(form->TickCount(), qint16(601));
    form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("0.1"));
    QCOMPARE(form->TickCount(), qint16(1));
    form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("0.2"));
}

void TestReceptionForm::sendEmptiesAccumulatedDataOnly() {
    // Auto-clear belongs to the open port: with the port closed the views stay as they are.
    child<QCheckBox>("Check1")->setChecked(true);
    child<TextBox>("Text4")->setText(QStringLiteral("OK"));
    child<TextBox>("Text2")->setText(QStringLiteral("4F4B"));
    child<QLabel>("Label7")->setText(QStringLiteral("2"));
    click("Command2");
    BoxAnswerer boxes;
    click("Command130");
    QCOMPARE(boxes.texts, QStringList{PortWarning});
    QCOMPARE(box("Text4"), QStringLiteral("OK"));
    QCOMPARE(box("Text2"), QStringLiteral("4F4B"));
    QCOMPARE(label("Label7"), QStringLiteral("2"));
    QVERIFY(form->reception().RecvData.isEmpty());
    QVERIFY(form->reception().RecvText.isEmpty());
    QVERIFY(form->reception().RecvHex.isEmpty());
}

void TestReceptionForm::sendRestartsRunningCount() {
    click("Command2");
    BoxAnswerer boxes;
    click("Command130");
    for (int i = 0; i < 7; ++i)
        form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("0.7"));
    form->timer().stop(); // only the handler's own ticks below
    click("Command130");
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY(form->timer().isActive());
    QCOMPARE(form->TickCount(), qint16(0));
    QCOMPARE(label("Label12"), QStringLiteral("0.7")); // until the next tick overwrites it
    form->timer().stop();
    form->Timer1_Timer();
    QCOMPARE(label("Label12"), QStringLiteral("0.1"));
}

void TestReceptionForm::clearWithPortClosed() {
    click("Command2");
    click("Command5");
    child<TextBox>("Text4")->setText(QStringLiteral("x"));
    child<TextBox>("Text2")->setText(QStringLiteral("78"));
    child<QLabel>("Label7")->setText(QStringLiteral("1"));
    child<QPushButton>("Command29")->setFocus();
    form->timer().start();
    click("Command29");
    QCOMPARE(box("Text4"), QString());
    QCOMPARE(box("Text2"), QString());
    QCOMPARE(label("Label7"), QStringLiteral("0"));
    QCOMPARE(form->reception().RecvCount, qint16(0));
    QVERIFY(form->reception().RecvData.isEmpty());
    QVERIFY(!form->timer().isActive());
    QVERIFY(!form->comm().PortOpen());
    QCOMPARE(QApplication::focusWidget(), child<TextBox>("Text3"));
    // The send buffer is not the receive side's to touch.
    QCOMPARE(form->sendBuffer().SendData(), (CodeString{1, 4}));
    QCOMPARE(box("Text3"), QStringLiteral("[SOH][EOT]"));
}

void TestReceptionForm::clearLeavesTimeShown() {
    for (int i = 0; i < 23; ++i)
        form->Timer1_Timer();
    form->timer().start();
    click("Command29");
    QVERIFY(!form->timer().isActive());
    QCOMPARE(label("Label12"), QStringLiteral("2.3"));
    QCOMPARE(form->TickCount(), qint16(23));
}

void TestReceptionForm::nothingHandledAfterShutdown() {
    form->Timer1_Timer();
    form->Command136_Click();
    QVERIFY(form->isShuttingDown());
    QVERIFY(!form->timer().isActive());
    form->Timer1_Timer();
    emit form->comm().OnComm();
    BoxAnswerer boxes;
    form->Command130_Click();
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(!form->timer().isActive());
    QCOMPARE(form->TickCount(), qint16(1));
    QCOMPARE(label("Label12"), QStringLiteral("0.1"));
    QCOMPARE(label("Label7"), QStringLiteral("0"));
}

QTEST_MAIN(TestReceptionForm)
#include "tst_reception_form.moc"
