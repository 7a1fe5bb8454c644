// The timed exchange on a real pseudo-terminal: how it ends when the far end stops reading,
// answers exactly what is expected, or talks between exchanges.

#include "exchange.h"
#include "ptyfixture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace kav;
using namespace kavtest;
using Outcome = ExchangeResult::Outcome;

namespace {

CodeString codesOf(const QByteArray& bytes) {
    CodeString codes;
    for (char byte : bytes)
        codes.append(Code(quint8(byte)));
    return codes;
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void blockedLineIsNoLoss();
    void expectedReplyEndsAtOnce_data();
    void expectedReplyEndsAtOnce();
    void betweenExchangesCountedWhole();

private:
    bool open(const QString& settings = QStringLiteral("9600,N,8,1"));
    QTemporaryDir config_;
    std::unique_ptr<Pty> far_;
    std::unique_ptr<MSComm> comm_;
};

void TestExchange::initTestCase() {
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void TestExchange::init() {
    far_ = std::make_unique<Pty>();
    comm_ = std::make_unique<MSComm>();
}

void TestExchange::cleanup() {
    comm_.reset();
    far_.reset();
}

bool TestExchange::open(const QString& settings) {
    if (!far_->ok() || !linkPort(1, far_->slaveName))
        return false;
    openAsOpenButton(*comm_, QStringLiteral("COM1"), settings);
    return comm_->PortOpen();
}

void TestExchange::blockedLineIsNoLoss() {
    // A far end that never reads: the first message fills the line's buffers, so neither this
    // nor the next one can be handed over. Fast enough that the bound is about two seconds.
    QVERIFY(open(QStringLiteral("4000000,N,8,1")));
    Exchanger exchanger(*comm_);
    const CodeString message(32767, Code('A'));
    for (int n = 1; n <= 2; ++n) {
        const ExchangeResult result = exchanger.exchange(message, 100, 100);
        QCOMPARE(int(result.outcome), int(Outcome::NotWritten));
        QVERIFY(!exchanger.lost());
        QVERIFY(comm_->PortOpen());
    }
}

void TestExchange::expectedReplyEndsAtOnce_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("later");
    QTest::addColumn<int>("laterMs"); // after the answer
    QTest::addColumn<int>("quietMs");
    QTest::addColumn<QByteArray>("reply");
    const QString usual = QStringLiteral("9600,N,8,1");
    QTest::newRow("exactly as expected")
        << usual << QByteArray("AB") << QByteArray() << 0 << 20000 << QByteArray("AB");
    QTest::newRow("more than expected")
        << usual << QByteArray("ABC") << QByteArray() << 0 << 300 << QByteArray("ABC");
    QTest::newRow("more, read apart from it")
        << usual << QByteArray("AB") << QByteArray("C") << 5 << 300 << QByteArray("ABC");
    QTest::newRow("a double-byte reply")
        << usual << QByteArray("\x82\xA0") << QByteArray() << 0 << 20000 << QByteArray("\x82\xA0");
    // Four characters of 12 bits at 110 baud take 436 ms, of 10 bits 364 ms: the byte comes
    // between the two.
    QTest::newRow("more, four slow characters later")
        << QStringLiteral("110,E,8,2") << QByteArray("AB") << QByteArray("C") << 420 << 600
        << QByteArray("ABC");
}

void TestExchange::expectedReplyEndsAtOnce() {
    QFETCH(QString, settings);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, later);
    QFETCH(int, laterMs);
    QFETCH(int, quietMs);
    QFETCH(QByteArray, reply);
    QVERIFY(open(settings));
    Exchanger exchanger(*comm_);
    QTimer::singleShot(50, Qt::PreciseTimer, [&] { far_->write(answer); });
    if (!later.isEmpty())
        QTimer::singleShot(50 + laterMs, Qt::PreciseTimer, [&] { far_->write(later); });
    QElapsedTimer clock;
    clock.start();
    const ExchangeResult result =
        exchanger.exchange({Code('?')}, 5000, quietMs, QByteArray(answer.first(2)));
    QCOMPARE(int(result.outcome), int(Outcome::Replied));
    QCOMPARE(bytesOf(result.reply), reply);
    // Waiting out the quiet spell would take it past half of it.
    QVERIFY2(clock.elapsed() < quietMs / 2 + 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestExchange::betweenExchangesCountedWhole() {
    // More than the control can hold comes between two exchanges: every character is counted.
    QVERIFY(open());
    Exchanger exchanger(*comm_);
    QTimer::singleShot(50, [&] { far_->write("A"); });
    QCOMPARE(int(exchanger.exchange({Code('?')}, 2000, 100).outcome), int(Outcome::Replied));
    const QByteArray chunk(1000, 'x');
    qsizetype sent = 0;
    QTimer talk;
    talk.callOnTimeout([&] {
        if (sent < 40000 && far_->write(chunk))
            sent += chunk.size();
    });
    talk.start(1);
    QVERIFY(exchanger.pause(1500));
    talk.stop();
    QCOMPARE(sent, qsizetype(40000));
    QTimer::singleShot(50, [&] { far_->write("B"); });
    const ExchangeResult second = exchanger.exchange({Code('?')}, 2000, 100);
    QCOMPARE(second.leftOver, qsizetype(40000));
    QCOMPARE(second.reply, codesOf("B"));
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
