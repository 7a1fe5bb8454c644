#include "bytesplitter.h"

#include <QRandomGenerator>
#include <QTest>

using namespace kav;

Q_DECLARE_METATYPE(QList<QByteArray>)

class TestByteSplitter : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void randomChunksLoseNothing();
    void clearDropsHeldByte();
};

void TestByteSplitter::split_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<CodeString>("beforeFlush");
    QTest::addColumn<CodeString>("afterFlush");

    using B = QByteArray;
    QTest::newRow("ascii") << QList<B>{B("AB")} << CodeString{0x41, 0x42} << CodeString{0x41, 0x42};
    QTest::newRow("NUL kept") << QList<B>{B("\0A\0", 3)} << CodeString{0, 0x41, 0}
                              << CodeString{0, 0x41, 0};
    QTest::newRow("valid pair") << QList<B>{B("\x82\xA0")} << CodeString{0x82A0}
                                << CodeString{0x82A0};
    QTest::newRow("pair, high lead") << QList<B>{B("\xE0\x40\xFC\xFC")}
                                     << CodeString{0xE040, 0xFCFC} << CodeString{0xE040, 0xFCFC};
    QTest::newRow("lead + blank") << QList<B>{B("\x81\x20")} << CodeString{0x81, 0x20}
                                  << CodeString{0x81, 0x20};
    QTest::newRow("lead + 7F") << QList<B>{B("\x81\x7F")} << CodeString{0x81, 0x7F}
                               << CodeString{0x81, 0x7F};
    QTest::newRow("lead + FD") << QList<B>{B("\x9F\xFD")} << CodeString{0x9F, 0xFD}
                               << CodeString{0x9F, 0xFD};
    QTest::newRow("lead + NUL") << QList<B>{B("\x81\0", 2)} << CodeString{0x81, 0}
                                << CodeString{0x81, 0};
    QTest::newRow("invalid trail then a pair")
        << QList<B>{B("\x81\x30\x82\xA0")} << CodeString{0x81, 0x30, 0x82A0}
        << CodeString{0x81, 0x30, 0x82A0};
    QTest::newRow("lone single bytes") << QList<B>{B("\x80\xA0\xA1\xDF\xFD\xFE\xFF")}
                                       << CodeString{0x80, 0xA0, 0xA1, 0xDF, 0xFD, 0xFE, 0xFF}
                                       << CodeString{0x80, 0xA0, 0xA1, 0xDF, 0xFD, 0xFE, 0xFF};
    QTest::newRow("lead at end held")
        << QList<B>{B("A\x82")} << CodeString{0x41} << CodeString{0x41, 0x82};
    QTest::newRow("only a lead") << QList<B>{B("\xE0")} << CodeString{} << CodeString{0xE0};
    QTest::newRow("pair across reads")
        << QList<B>{B("A\x82"), B("\xA0"
                                  "B")}
        << CodeString{0x41, 0x82A0, 0x42} << CodeString{0x41, 0x82A0, 0x42};
    QTest::newRow("held lead, invalid next read")
        << QList<B>{B("\x82"), B(" ")} << CodeString{0x82, 0x20} << CodeString{0x82, 0x20};
    QTest::newRow("held lead, lead next is its trail")
        << QList<B>{B("\x82"), B("\x82")} << CodeString{0x8282} << CodeString{0x8282};
    QTest::newRow("empty read keeps holding")
        << QList<B>{B("\x82"), B(), B("\xA0")} << CodeString{0x82A0} << CodeString{0x82A0};
    QTest::newRow("held lead, new lead held")
        << QList<B>{B("\x82"), B("\x20\x83")} << CodeString{0x82, 0x20}
        << CodeString{0x82, 0x20, 0x83};
}

void TestByteSplitter::split() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(CodeString, beforeFlush);
    QFETCH(CodeString, afterFlush);
    ByteSplitter splitter;
    CodeString codes;
    for (const QByteArray& chunk : chunks)
        splitter.feed(chunk, codes);
    QCOMPARE(codes, beforeFlush);
    QCOMPARE(splitter.holding(), beforeFlush != afterFlush);
    splitter.flush(codes);
    QCOMPARE(codes, afterFlush);
    QVERIFY(!splitter.holding());
}

void TestByteSplitter::randomChunksLoseNothing() {
    // However the bytes are cut into reads, the codes give back exactly the bytes, every
    // double-byte code is a valid pair, and the result is the same as for one single read.
    QRandomGenerator random(4711);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(random.bounded(1, 40), Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        ByteSplitter whole;
        CodeString expected;
        whole.feed(bytes, expected);
        whole.flush(expected);

        ByteSplitter splitter;
        CodeString codes;
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype length = random.bounded(qsizetype(0), bytes.size() - at + 1);
            splitter.feed(QByteArrayView(bytes).sliced(at, length), codes);
            at += length;
        }
        splitter.flush(codes);
        QCOMPARE(codes, expected);
        QCOMPARE(bytesOf(codes), bytes);
        for (Code code : codes) {
            if (isDoubleByte(code)) {
                QVERIFY(isLeadByte(quint8(code >> 8)));
                QVERIFY(isTrailByte(quint8(code & 0xFF)));
            }
        }
    }
}

void TestByteSplitter::clearDropsHeldByte() {
    ByteSplitter splitter;
    CodeString codes;
    splitter.feed(QByteArray("\x82"), codes);
    QVERIFY(splitter.holding());
    splitter.clear();
    splitter.feed(QByteArray("\xA0"), codes);
    QCOMPARE(codes, CodeString{0xA0});
}

QTEST_APPLESS_MAIN(TestByteSplitter)
#include "tst_bytesplitter.moc"
