#include "boxes.h"
#include "formfixture.h"
#include "ptyfixture.h"

#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace kav;
using namespace kavtest;

namespace {

// The colour most of a button's face shows, away from its edge and caption.
QColor dominantFace(QPushButton* button) {
    const QImage image = button->grab().toImage();
    QHash<QRgb, int> seen;
    for (int y = 4; y < image.height() - 4; ++y)
        for (int x = 4; x < image.width() - 4; ++x)
            ++seen[image.pixel(x, y)];
    QRgb best = 0;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        if (it.value() > seen.value(best))
            best = it.key();
    return QColor(best);
}

bool near(const QColor& seen, const QColor& wanted) {
    return qAbs(seen.red() - wanted.red()) <= 4 && qAbs(seen.green() - wanted.green()) <= 4 &&
           qAbs(seen.blue() - wanted.blue()) <= 4;
}

const QString PortMessage =
    QStringLiteral("COM PORTの選択に問題があります。ﾃﾞﾊﾞｲｽﾏﾈｰｼﾞｬｰでCOM PORTを確認してください。");
} // namespace

class TestForm1Serial : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void typedTextCountsAsTyped_data();
    void typedTextCountsAsTyped();
    void openAfterStartUp();
    void openPicksPort_data();
    void openPicksPort();
    void openRefused_data();
    void openRefused();
    void openWhenOpenOnlyRefreshes();
    void openWhenOpenWithNoPortNumber();
    void closeWhenOpen_data();
    void closeWhenOpen();
    void closeWhenClosed();
    void farEndClosed();
    void facesPaintedFlat();
    void portListSaysWhatEachReaches();

private:
    void clickOpen() { QTest::mouseClick(open_, Qt::LeftButton); }
    void clickClose() { QTest::mouseClick(close_, Qt::LeftButton); }
    QComboBox* combo(int n) const { return fx_->get<QComboBox>(QStringLiteral("Combo%1").arg(n)); }
    QStringList boxTexts() const { return boxes_->texts(); }
    bool showsOpen() const {
        return open_->palette().color(QPalette::Button) == Form1::OpenColour.toQColor() &&
               close_->palette().color(QPalette::Button) == Form1::ClosedColour.toQColor();
    }
    bool showsClosed() const {
        return open_->palette().color(QPalette::Button) == Form1::ClosedColour.toQColor() &&
               close_->palette().color(QPalette::Button) == Form1::OpenColour.toQColor();
    }

    std::unique_ptr<FormFixture> fx_;
    Form1* form_ = nullptr;
    std::unique_ptr<BoxAnswerer> boxes_;
    QPushButton* open_ = nullptr;
    QPushButton* close_ = nullptr;
};

void TestForm1Serial::init() {
    fx_ = std::make_unique<FormFixture>();
    QVERIFY(fx_->start(FormFixture::Exposed));
    form_ = fx_->form.get();
    open_ = fx_->get<QPushButton>("Command133");
    close_ = fx_->get<QPushButton>("Command134");
    QVERIFY(showsClosed());
    boxes_ = std::make_unique<BoxAnswerer>();
}

void TestForm1Serial::cleanup() {
    boxes_.reset();
    fx_.reset();
}

void TestForm1Serial::typedTextCountsAsTyped_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<QString>("typed");
    QTest::newRow("COM") << 1 << "COM";
    QTest::newRow("COM1, not COM10 or COM 1") << 1 << "COM1";
    QTest::newRow("COM 1 typed") << 1 << "COM 1";
    QTest::newRow("prefix of 115200") << 2 << "11";
    QTest::newRow("prefix of 9600") << 2 << "96";
    QTest::newRow("lower-case parity") << 4 << "e";
    QTest::newRow("stop 1.5") << 5 << "1.5";
}

void TestForm1Serial::typedTextCountsAsTyped() {
    QFETCH(int, list);
    QFETCH(QString, typed);
    QComboBox* box = combo(list);
    QVERIFY(box->completer() == nullptr);
    const int count = box->count();
    QLineEdit* edit = box->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // Typed one character at a time, each prefix in turn must stay as typed.
    for (qsizetype i = 0; i < typed.size(); ++i) {
        QTest::keyClicks(edit, typed.mid(i, 1));
        QCOMPARE(box->currentText(), typed.left(i + 1));
    }
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(box->currentText(), typed);
    QCOMPARE(box->count(), count);
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(box->currentText(), typed);
    QCOMPARE(box->count(), count);
}

void TestForm1Serial::openAfterStartUp() {
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    clickOpen();
    QCOMPARE(boxTexts(), QStringList());
    const MSComm& comm = form_->comm();
    QVERIFY(comm.PortOpen());
    QVERIFY(!pty.slaveClosed());
    QCOMPARE(comm.CommPort(), 1);
    QCOMPARE(comm.Settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(comm.NullDiscard(), false);
    QCOMPARE(comm.RThreshold(), 1);
    QCOMPARE(comm.InputLen(), 0);
    QVERIFY(showsOpen());
}

void TestForm1Serial::openPicksPort_data() {
    QTest::addColumn<QString>("typed"); // empty: pick the list entry instead
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("port");
    QTest::newRow("picked COM 9") << "" << 8 << 9;
    QTest::newRow("picked COM12") << "" << 11 << 12;
    QTest::newRow("typed COM 12 opens port 2") << "COM 12" << -1 << 2;
    QTest::newRow("typed COM5") << "COM5" << -1 << 5;
    QTest::newRow("typed COM15") << "COM15" << -1 << 15;
}

void TestForm1Serial::openPicksPort() {
    QFETCH(QString, typed);
    QFETCH(int, entry);
    QFETCH(int, port);
    // Every other plausible number leads to a live device too, so only the right one counts.
    Pty right, wrong;
    QVERIFY(right.ok() && wrong.ok());
    for (int n : {1, 2, 5, 9, 12, 15})
        QVERIFY(linkPort(n, n == port ? right.slaveName : wrong.slaveName));
    if (typed.isEmpty())
        combo(1)->setCurrentIndex(entry);
    else
        combo(1)->setEditText(typed);
    clickOpen();
    QCOMPARE(boxTexts(), QStringList());
    QVERIFY(form_->comm().PortOpen());
    QCOMPARE(form_->comm().CommPort(), port);
    QVERIFY(!right.slaveClosed());
    QVERIFY(wrong.slaveClosed());
    QVERIFY(showsOpen());
}

void TestForm1Serial::openRefused_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("entry"); // what com3 of the port folder is
    auto row = [](const char* name, const char* port, const char* baud = "9600",
                  const char* data = "8", const char* parity = "N", const char* stop = "1",
                  const char* entry = "") {
        QTest::newRow(name) << port << baud << data << parity << stop << entry;
    };
    // Port 1 is always a live device below, so each row fails for its own reason only. Which
    // texts and entries the control refuses is its own suite's; these rows show that every kind
    // of refusal reaches the operator as the one message.
    row("COM 9 with no device", "COM 9");
    row("typed COM", "COM");
    row("empty port", "");
    row("typed COM 0", "COM 0");
    row("letters in the baud", "COM1", "96OO");
    row("data bits and parity swapped", "COM1", "9600", "N", "8");
    row("blank after the data bits", "COM1", "9600", "8 ");
    row("1.5 stop bits", "COM1", "9600", "8", "N", "1.5");
    row("parity X", "COM1", "9600", "8", "X");
    row("entry is a plain file", "COM 3", "9600", "8", "N", "1", "file");
    row("entry points at a non-terminal", "COM 3", "9600", "8", "N", "1", "devnull");
}

void TestForm1Serial::openRefused() {
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(QString, data);
    QFETCH(QString, parity);
    QFETCH(QString, stop);
    QFETCH(QString, entry);
    Pty live;
    QVERIFY(live.ok() && linkPort(1, live.slaveName));
    // Ports the names could reach on this machine point at nothing, whatever /dev holds.
    QTemporaryDir scratch;
    for (int n : {0, 2, 9, 12})
        QVERIFY(linkPort(n, scratch.path() + "/no-device"));
    if (entry == "file") {
        QFile file(scratch.path() + "/plain");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(linkPort(3, file.fileName()));
    } else if (entry == "devnull") {
        QVERIFY(linkPort(3, "/dev/null"));
    }
    const QString texts[] = {port, baud, data, parity, stop};
    for (int n = 1; n <= 5; ++n)
        combo(n)->setEditText(texts[n - 1]);
    // The box is the same for every refusal; the reason goes to the log.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^OPEN failed: .+"));
    clickOpen();
    QCOMPARE(boxTexts(), QStringList{PortMessage});
    QVERIFY(!form_->comm().PortOpen());
    QVERIFY(live.slaveClosed());
    QVERIFY(showsClosed());
    // The texts stay as typed.
    for (int n = 1; n <= 5; ++n)
        QCOMPARE(combo(n)->currentText(), texts[n - 1]);
}

void TestForm1Serial::openWhenOpenOnlyRefreshes() {
    Pty one, two;
    QVERIFY(one.ok() && two.ok());
    QVERIFY(linkPort(1, one.slaveName) && linkPort(2, two.slaveName));
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    combo(1)->setEditText("COM 2");
    combo(2)->setEditText("19200");
    combo(5)->setEditText("2");
    setFaceColour(open_, Form1::ClosedColour); // so that the refresh shows
    clickOpen();
    QCOMPARE(boxTexts(), QStringList());
    QVERIFY(showsOpen());
    QVERIFY(form_->comm().PortOpen());
    QCOMPARE(form_->comm().CommPort(), 2); // written, waiting for the next open
    QCOMPARE(form_->comm().Settings(), QStringLiteral("9600,N,8,1"));
    const termios tio = one.settings();
    QCOMPARE(::cfgetospeed(&tio), speed_t(B9600));
    QVERIFY(!(tio.c_cflag & CSTOPB));
    QVERIFY(!one.slaveClosed());
    QVERIFY(two.slaveClosed());
    // The new number and settings take effect at the next open.
    clickClose();
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    QTRY_VERIFY(one.slaveClosed());
    QVERIFY(!two.slaveClosed());
    const termios now = two.settings();
    QCOMPARE(::cfgetospeed(&now), speed_t(B19200));
    QVERIFY(now.c_cflag & CSTOPB);
}

void TestForm1Serial::openWhenOpenWithNoPortNumber() {
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    combo(1)->setEditText("COM");
    clickOpen();
    QCOMPARE(boxTexts(), QStringList{PortMessage});
    QVERIFY(form_->comm().PortOpen());
    QCOMPARE(form_->comm().CommPort(), 1);
    QVERIFY(showsOpen());
}

void TestForm1Serial::closeWhenOpen_data() {
    QTest::addColumn<bool>("byExit");
    QTest::newRow("CLOSE") << false;
    QTest::newRow("exit") << true;
}

void TestForm1Serial::closeWhenOpen() {
    QFETCH(bool, byExit);
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    QVERIFY(!pty.slaveClosed());
    fx_->timer()->start();
    if (byExit)
        fx_->click(QStringLiteral("Command136"));
    else
        clickClose();
    QVERIFY(!form_->comm().PortOpen());
    QVERIFY(!form_->timer().isActive());
    if (!byExit)
        QVERIFY(showsClosed());
    QTRY_VERIFY(pty.slaveClosed());
    QCOMPARE(boxTexts(), QStringList());
}

void TestForm1Serial::closeWhenClosed() {
    QSignalSpy lost(&form_->comm(), &MSComm::DeviceLost);
    fx_->timer()->start();
    setFaceColour(open_, Form1::OpenColour); // so that the refresh shows
    setFaceColour(close_, Form1::ClosedColour);
    clickClose();
    QVERIFY(!form_->comm().PortOpen());
    QVERIFY(!form_->timer().isActive());
    QVERIFY(showsClosed());
    QCOMPARE(boxTexts(), QStringList());
    QCOMPARE(lost.count(), 0);
}

void TestForm1Serial::farEndClosed() {
    auto pty = std::make_unique<Pty>();
    QVERIFY(pty->ok() && linkPort(1, pty->slaveName));
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    fx_->timer()->start();
    pty.reset(); // the device goes away
    QTRY_COMPARE(boxTexts(), QStringList{PortMessage});
    QVERIFY(!form_->comm().PortOpen());
    QVERIFY(!form_->timer().isActive());
    QVERIFY(showsClosed());
    QTest::qWait(300);
    QCOMPARE(boxTexts().size(), 1); // told once
    // The program keeps working: a device back at the same entry opens as before.
    Pty fresh;
    QVERIFY(fresh.ok() && linkPort(1, fresh.slaveName));
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    QVERIFY(showsOpen());
    fx_->click(QStringLiteral("Command3")); // STX
    fx_->click(QStringLiteral("Command130"));
    QCOMPARE(fresh.read(1), QByteArray("\x02"));
    QCOMPARE(boxTexts().size(), 1);
}

void TestForm1Serial::facesPaintedFlat() {
    // The faces must show the form's colours themselves, not the style's shading of them.
    const QColor red(255, 0, 0), grey(192, 192, 192);
    QVERIFY2(near(dominantFace(open_), grey), qPrintable(dominantFace(open_).name()));
    QVERIFY2(near(dominantFace(close_), red), qPrintable(dominantFace(close_).name()));
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    clickOpen();
    QVERIFY(form_->comm().PortOpen());
    QVERIFY2(near(dominantFace(open_), red), qPrintable(dominantFace(open_).name()));
    QVERIFY2(near(dominantFace(close_), grey), qPrintable(dominantFace(close_).name()));
}

void TestForm1Serial::portListSaysWhatEachReaches() {
    Pty pty;
    QVERIFY(pty.ok() && linkPort(1, pty.slaveName));
    const QString missing = fx_->config.filePath(QStringLiteral("unplugged"));
    QVERIFY(linkPort(2, missing));
    QComboBox* ports = combo(1);
    ports->showPopup(); // the list read as it opens, so that what it says is current
    QCOMPARE(ports->count(), 15);
    QCOMPARE(ports->itemData(0, Qt::ToolTipRole).toString(),
             QStringLiteral("pseudo-terminal, ") + pty.slaveName);
    QCOMPARE(ports->itemData(1, Qt::AccessibleDescriptionRole).toString(),
             QStringLiteral("nothing is there (%1)").arg(missing));
    ports->hidePopup();
    unlinkPort(1);
    ports->showPopup();
    QVERIFY(!ports->itemData(0, Qt::ToolTipRole).toString().contains(pty.slaveName));
    ports->hidePopup();
}

QTEST_MAIN(TestForm1Serial)
#include "tst_form1serial.moc"
