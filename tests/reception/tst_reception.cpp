#include "mnemonics.h"
#include "reception.h"
#include "ticks.h"

#include <QRandomGenerator>
#include <QTest>

using namespace kav;

Q_DECLARE_METATYPE(kav::CodeString)

namespace {

QString tokensOf(const CodeString& codes) {
    QString text;
    for (Code code : codes)
        text += receiveToken(code);
    return text;
}

} // namespace

class TestReception : public QObject {
    Q_OBJECT
private slots:
    void takeOneChunk_data();
    void takeOneChunk();
    void chunksFollowEachOther();
    void splitPairStaysApart_data();
    void splitPairStaysApart();
    void randomChunksKeepEveryByte();
    void limit_data();
    void limit();
    void clearEmptiesAllButTheCount();
    void viewShowsControlPictures_data();
    void viewShowsControlPictures();
    void tickText_data();
    void tickText();
    void nextTick_data();
    void nextTick();
};

void TestReception::takeOneChunk_data() {
    QTest::addColumn<CodeString>("chunk");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");
    // One of each kind of token; every code's own token is the code-page suite's table.
    QTest::newRow("A CR LF") << CodeString{'A', 13, 10} << "A[CR][LF]"
                             << "410D0A";
    QTest::newRow("NUL as itself") << CodeString{0} << QString(QChar(0)) << "00";
    QTest::newRow("28-31 and DEL as themselves")
        << CodeString{28, 29, 30, 31, 127} << QString::fromUtf16(u"\x1c\x1d\x1e\x1f\x7f")
        << "1C1D1E1F7F";
    QTest::newRow("lone bytes show a stand-in")
        << CodeString{0x80, 0xA0, 0xFD, 0xFF} << QString(4, StandIn) << "80A0FDFF";
    QTest::newRow("double-byte") << CodeString{0x82A0} << QString::fromUtf16(u"あ") << "82A0";
    QTest::newRow("lead byte with a control after it")
        << CodeString{0x81, 13} << QString(StandIn) + "[CR]"
        << "810D";
}

void TestReception::takeOneChunk() {
    QFETCH(CodeString, chunk);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    Reception r;
    r.take(chunk);
    QCOMPARE(r.RecvChunk, chunk);
    QCOMPARE(r.RecvData, chunk);
    QCOMPARE(r.RecvText, text);
    QCOMPARE(r.RecvHex, hex);
    QCOMPARE(r.countText(), QString::number(chunk.size()));
}

void TestReception::chunksFollowEachOther() {
    Reception r;
    r.take({'O', 'K'});
    r.take({13, 10});
    QCOMPARE(r.RecvChunk, (CodeString{13, 10}));
    QCOMPARE(r.RecvData, (CodeString{'O', 'K', 13, 10}));
    QCOMPARE(r.RecvText, QStringLiteral("OK[CR][LF]"));
    QCOMPARE(r.RecvHex, QStringLiteral("4F4B0D0A"));
    QCOMPARE(r.countText(), QStringLiteral("4"));
}

void TestReception::splitPairStaysApart_data() {
    QTest::addColumn<CodeString>("first");
    QTest::addColumn<CodeString>("second");
    QTest::addColumn<CodeString>("data");
    QTest::addColumn<QString>("text");

    QTest::newRow("lead then trail")
        << CodeString{'A', 0x82} << CodeString{0xA0, 'B'} << CodeString{'A', 0x82, 0xA0, 'B'}
        << QStringLiteral("A") + StandIn + StandIn + "B";
    QTest::newRow("lead then low trail")
        << CodeString{0x81} << CodeString{0x41} << CodeString{0x81, 0x41} << QString(StandIn) + "A";
    QTest::newRow("lead then a byte that cannot trail")
        << CodeString{0x82} << CodeString{13} << CodeString{0x82, 13} << QString(StandIn) + "[CR]";
    QTest::newRow("double-byte then trail-range byte")
        << CodeString{0x82A0} << CodeString{0xA0} << CodeString{0x82A0, 0xA0}
        << QString::fromUtf16(u"あ") + StandIn;
}

void TestReception::splitPairStaysApart() {
    QFETCH(CodeString, first);
    QFETCH(CodeString, second);
    QFETCH(CodeString, data);
    QFETCH(QString, text);
    Reception r;
    r.take(first);
    r.take(second);
    QCOMPARE(r.RecvData, data);
    QCOMPARE(r.RecvText, text);
    QCOMPARE(r.RecvHex, hexOf(first) + hexOf(second));
    QCOMPARE(r.RecvHex, hexOf(r.RecvData));
    QCOMPARE(r.RecvChunk, second);
}

// Whatever codes arrive, split however, the three forms agree and no byte is lost or reordered.
void TestReception::randomChunksKeepEveryByte() {
    QRandomGenerator rng(20240605);
    for (int round = 0; round < 300; ++round) {
        Reception r;
        QByteArray wire;
        const int chunks = rng.bounded(1, 8);
        for (int c = 0; c < chunks; ++c) {
            CodeString chunk;
            const int n = rng.bounded(0, 12);
            for (int i = 0; i < n; ++i) {
                const quint8 lead = quint8(rng.bounded(256));
                const quint8 trail = quint8(rng.bounded(256));
                if (isLeadByte(lead) && isTrailByte(trail) && rng.bounded(2))
                    chunk.append(Code(lead << 8 | trail));
                else
                    chunk.append(Code(rng.bounded(256)));
            }
            wire += bytesOf(chunk);
            r.take(chunk);
            QCOMPARE(r.RecvChunk, chunk);
        }
        QCOMPARE(bytesOf(r.RecvData), wire);
        QCOMPARE(r.RecvHex, QString::fromLatin1(wire.toHex().toUpper()));
        QCOMPARE(r.RecvText, tokensOf(r.RecvData));
    }
}

void TestReception::limit_data() {
    QTest::addColumn<int>("held");
    QTest::addColumn<bool>("full");
    QTest::newRow("empty") << 0 << false;
    QTest::newRow("999") << 999 << false;
    QTest::newRow("1000") << 1000 << true;
    QTest::newRow("1009") << 1009 << true;
}

void TestReception::limit() {
    QFETCH(int, held);
    QFETCH(bool, full);
    Reception r;
    r.take(CodeString(held, Code('x')));
    QCOMPARE(r.isFull(), full);
    QCOMPARE(r.countText(), QString::number(held));
}

void TestReception::clearEmptiesAllButTheCount() {
    Reception r;
    r.take({'a', 2});
    r.RecvCount = 7;
    r.clear();
    QVERIFY(r.RecvChunk.isEmpty());
    QVERIFY(r.RecvText.isEmpty());
    QVERIFY(r.RecvData.isEmpty());
    QVERIFY(r.RecvHex.isEmpty());
    QCOMPARE(r.RecvCount, qint16(7));
    QCOMPARE(r.countText(), QStringLiteral("0"));
    // A lead byte held before the clear must not pair with what comes after it.
    r.take({0x82});
    r.clear();
    r.take({0xA0});
    QCOMPARE(r.RecvData, CodeString{0xA0});
}

void TestReception::viewShowsControlPictures_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("NUL") << QString(QChar(0)) << QString::fromUtf16(u"\u2400");
    QTest::newRow("28-31") << QString::fromUtf16(u"\x1c\x1d\x1e\x1f")
                           << QString::fromUtf16(u"\u241c\u241d\u241e\u241f");
    QTest::newRow("DEL") << QString::fromUtf16(u"a\x7f") << QString::fromUtf16(u"a\u2421");
    QTest::newRow("mnemonics and text untouched")
        << QString::fromUtf16(u"[STX]あ[SP]\uFFFD~") << QString::fromUtf16(u"[STX]あ[SP]\uFFFD~");
}

void TestReception::viewShowsControlPictures() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(receiveView(text), shown);
}

void TestReception::tickText_data() {
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("1") << 1 << "0.1";
    QTest::newRow("10") << 10 << "1";
    QTest::newRow("15") << 15 << "1.5";
    QTest::newRow("599") << 599 << "59.9";
    QTest::newRow("600") << 600 << "60";
    QTest::newRow("601") << 601 << "60.1";
    QTest::newRow("negative") << -15 << "-1.5";
}

void TestReception::tickText() {
    QFETCH(int, ticks);
    QFETCH(QString, text);
    QCOMPARE(kav::tickText(qint16(ticks)), text);
}

void TestReception::nextTick_data() {
    // The count runs up to 601 (60.1 s shown) and starts again from 1 on the tick after.
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("next");
    QTest::newRow("first") << 0 << 1;
    QTest::newRow("to 60 s") << 599 << 600;
    QTest::newRow("to 60.1 s") << 600 << 601;
    QTest::newRow("wraps") << 601 << 1;
    QTest::newRow("far beyond") << 5000 << 1;
}

void TestReception::nextTick() {
    QFETCH(int, ticks);
    QFETCH(int, next);
    QCOMPARE(kav::nextTick(qint16(ticks)), qint16(next));
}

QTEST_GUILESS_MAIN(TestReception)
#include "tst_reception.moc"
