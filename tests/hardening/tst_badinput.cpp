// Bad port names, bad settings texts and port-folder entries that are not serial devices, each
// typed into the real lists of a real window: every one gives the port message, the port stays
// closed, the buttons keep their colours, and the window still opens a good port afterwards.

#include "ptyfixture.h"
#include "windowdriver.h"

#include <QTemporaryDir>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace kav;
using namespace kavtest;

namespace {

// What the port-folder entry com3 is, for the rows about entries.
enum class Entry { None, PlainFile, Folder, Dangling, Loop, Fifo, LinkToFifo, DevZero, NoAccess };

// A face colour neither state uses: if OPEN still shows it afterwards, nothing recoloured it.
constexpr FormColour Untouched{0x123456};

const QString Long(10000, u'9');

} // namespace

Q_DECLARE_METATYPE(Entry)

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void refused_data();
    void refused();

private:
    QTemporaryDir runtime_, config_, scratch_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<BoxAnswerer> boxes_;
    int tried_ = 0;
    int refusedAsExpected_ = 0;
};

void TestBadInput::initTestCase() {
    QVERIFY(runtime_.isValid() && config_.isValid() && scratch_.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void TestBadInput::init() {
    // Every port number a name can give (at most two characters are read) leads nowhere, so
    // nothing on this machine can be opened by accident; rows put a device where they need one.
    QDir(portsFolder()).removeRecursively();
    for (int n = 0; n <= 99; ++n)
        QVERIFY(linkPort(n, scratch_.filePath(QStringLiteral("no-device"))));
    form_ = std::make_unique<Form1>();
    QVERIFY(form_->Form_Load());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    boxes_ = std::make_unique<BoxAnswerer>();
}

void TestBadInput::cleanup() {
    boxes_.reset();
    form_.reset();
}

void TestBadInput::cleanupTestCase() {
    qInfo("%d bad inputs tried: %d gave the port message, stayed closed and kept the colours",
          tried_, refusedAsExpected_);
    QVERIFY(tried_ >= 30);
}

void TestBadInput::refused_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<Entry>("entry");
    // Settings rows name COM1, which is a live device in these rows, so each fails for its text.
    auto settings = [](const char* name, const QString& baud, const QString& data = "8",
                       const QString& parity = "N", const QString& stop = "1") {
        QTest::newRow(name) << "COM1" << baud << data << parity << stop << Entry::None;
    };
    auto port = [](const char* name, const QString& port) {
        QTest::newRow(name) << port << "9600"
                            << "8"
                            << "N"
                            << "1" << Entry::None;
    };
    auto entry = [](const char* name, Entry entry) {
        QTest::newRow(name) << "COM 3"
                            << "9600"
                            << "8"
                            << "N"
                            << "1" << entry;
    };
    port("port: empty", "");
    port("port: blanks", "     ");
    port("port: COM alone", "COM");
    port("port: COM 0", "COM 0");
    port("port: COM99999 (port 9, nothing there)", "COM99999");
    port("port: COM 65536 (port 6, nothing there)", "COM 65536");
    port("port: -1 (port 1, nothing there)", "-1");
    port("port: COM-1", "COM-1");
    port("port: COM-9", "COM-9");
    port("port: COM+0", "COM+0");
    port("port: letters", "COMAB");
    port("port: full-width COM1", QStringLiteral("ＣＯＭ１"));
    port("port: full-width digit", QStringLiteral("COM１"));
    port("port: emoji", QStringLiteral("COM😀"));
    port("port: 10,000 letters", QString(10000, u'X'));
    port("port: 10,000 digits (port 99, nothing there)", Long);
    settings("baud: empty", "");
    settings("baud: blanks", "    ");
    settings("baud: blank before", " 9600");
    settings("baud: zero", "0");
    settings("baud: negative", "-9600");
    settings("baud: beyond 32 bits", "4294967296");
    settings("baud: 10,000 digits", Long);
    settings("baud: decimal point", "9600.5");
    settings("baud: letters", "fast");
    settings("baud: full-width digits", QStringLiteral("９６００"));
    settings("baud: emoji", QStringLiteral("😀"));
    settings("baud: extra field", "9600,N");
    settings("data: 9", "9600", "9");
    settings("data: 4", "9600", "4");
    settings("data: empty", "9600", "");
    settings("data: full-width 8", "9600", QStringLiteral("８"));
    settings("data: 10,000 characters", "9600", Long);
    settings("parity: X", "9600", "8", "X");
    settings("parity: empty", "9600", "8", "");
    settings("parity: NN", "9600", "8", "NN");
    settings("parity: long s", "9600", "8", QStringLiteral("ſ"));
    settings("parity: full-width N", "9600", "8", QStringLiteral("Ｎ"));
    settings("stop: 1.5 (not on this platform)", "9600", "8", "N", "1.5");
    settings("stop: 1,5", "9600", "8", "N", "1,5");
    settings("stop: 3", "9600", "8", "N", "3");
    settings("stop: 0", "9600", "8", "N", "0");
    settings("stop: -1", "9600", "8", "N", "-1");
    settings("stop: empty", "9600", "8", "N", "");
    settings("stop: emoji", "9600", "8", "N", QStringLiteral("😀"));
    entry("entry: a plain file", Entry::PlainFile);
    entry("entry: a folder", Entry::Folder);
    entry("entry: a dangling link", Entry::Dangling);
    entry("entry: a link loop", Entry::Loop);
    entry("entry: a FIFO", Entry::Fifo);
    entry("entry: a link to a FIFO", Entry::LinkToFifo);
    entry("entry: a link to /dev/zero", Entry::DevZero);
    entry("entry: a device without permission", Entry::NoAccess);
}

void TestBadInput::refused() {
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(QString, data);
    QFETCH(QString, parity);
    QFETCH(QString, stop);
    QFETCH(Entry, entry);

    Pty live; // COM1 for the settings rows, and a way back for every row
    QVERIFY(live.ok());
    if (port == u"COM1")
        QVERIFY(linkPort(1, live.slaveName));
    Pty guarded; // the device whose slave nobody may open, for the permission row
    const QString com3 = portEntry(3);
    const QByteArray com3Name = QFile::encodeName(com3);
    switch (entry) {
    case Entry::None:
        break;
    case Entry::PlainFile: {
        unlinkPort(3);
        QFile file(com3);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a device\n");
        break;
    }
    case Entry::Folder:
        unlinkPort(3);
        QVERIFY(QDir().mkdir(com3));
        break;
    case Entry::Dangling:
        QVERIFY(linkPort(3, scratch_.filePath(QStringLiteral("gone"))));
        break;
    case Entry::Loop:
        QVERIFY(linkPort(3, portEntry(4)));
        QVERIFY(linkPort(4, portEntry(3)));
        break;
    case Entry::Fifo:
        unlinkPort(3);
        QCOMPARE(::mkfifo(com3Name.constData(), 0600), 0);
        break;
    case Entry::LinkToFifo: {
        const QByteArray fifo = QFile::encodeName(scratch_.filePath(QStringLiteral("fifo")));
        ::unlink(fifo.constData());
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(linkPort(3, QFile::decodeName(fifo)));
        break;
    }
    case Entry::DevZero:
        QVERIFY(linkPort(3, QStringLiteral("/dev/zero")));
        break;
    case Entry::NoAccess:
        if (::geteuid() == 0)
            QSKIP("Running as root, which opens a device whatever its permissions say; the "
                  "other entries (FIFO, /dev/zero) stand in for a device that cannot be used.");
        QVERIFY(guarded.ok());
        QCOMPARE(::chmod(QFile::encodeName(guarded.slaveName).constData(), 0), 0);
        QVERIFY(linkPort(3, guarded.slaveName));
        break;
    }

    const QString texts[] = {port, baud, data, parity, stop};
    for (int n = 1; n <= 5; ++n) {
        // A 10,000-character row tests the length, not the keyboard: typing it key by key
        // would only cost time.
        if (texts[n - 1].size() > 100)
            combo(*form_, n)->setEditText(texts[n - 1]);
        else
            typeInto(combo(*form_, n), texts[n - 1]);
        QCOMPARE(combo(*form_, n)->currentText(), texts[n - 1]);
    }
    setFaceColour(button(*form_, "Command133"), Untouched);
    ++tried_;
    clickOpen(*form_);

    QCOMPARE(boxes_->texts(), QStringList{PortMessage});
    QVERIFY(!form_->comm().PortOpen());
    QVERIFY(live.slaveClosed());
    QCOMPARE(faceOf(*form_, "Command133"), Untouched.toQColor());
    QCOMPARE(faceOf(*form_, "Command134"), Form1::OpenColour.toQColor());
    for (int n = 1; n <= 5; ++n)
        QCOMPARE(combo(*form_, n)->currentText(), texts[n - 1]);
    ++refusedAsExpected_;

    // The window is none the worse: the start-up texts and a live COM1 open as ever.
    QVERIFY(linkPort(1, live.slaveName));
    const char* defaults[] = {"COM1", "9600", "8", "N", "1"};
    for (int n = 1; n <= 5; ++n)
        typeInto(combo(*form_, n), QString::fromLatin1(defaults[n - 1]));
    clickOpen(*form_);
    QCOMPARE(boxes_->texts().size(), 1);
    QVERIFY(form_->comm().PortOpen());
    QVERIFY(!live.slaveClosed());
    QVERIFY(showsOpen(*form_));
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
