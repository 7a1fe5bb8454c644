// Texts that only look like line settings: letters and digits from outside ASCII that case
// mapping or a lenient digit test would turn into valid ones. The control must refuse them all.

#include "mscomm.h"
#include "portsettings.h"

#include <QTest>

using namespace kav;

class TestReaders : public QObject {
    Q_OBJECT
private slots:
    void lookalikesRefused_data();
    void lookalikesRefused();
    void asciiLettersInEitherCase_data();
    void asciiLettersInEitherCase();
};

void TestReaders::lookalikesRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("long s, upper case S") << QStringLiteral("9600,\u017F,8,1");
    QTest::newRow("dotless i") << QStringLiteral("9600,\u0131,8,1");
    QTest::newRow("full-width N") << QStringLiteral("9600,\uFF2E,8,1");
    QTest::newRow("full-width n") << QStringLiteral("9600,\uFF4E,8,1");
    QTest::newRow("Cyrillic O") << QStringLiteral("9600,\u041E,8,1");
    QTest::newRow("Greek capital epsilon") << QStringLiteral("9600,\u0395,8,1");
    QTest::newRow("full-width baud") << QStringLiteral("\uFF19\uFF16\uFF10\uFF10,N,8,1");
    QTest::newRow("Arabic-Indic baud") << QStringLiteral("\u0669\u0666\u0660\u0660,N,8,1");
    QTest::newRow("full-width data bits") << QStringLiteral("9600,N,\uFF18,1");
    QTest::newRow("full-width stop bits") << QStringLiteral("9600,N,8,\uFF11");
    QTest::newRow("full-width comma") << QStringLiteral("9600\uFF0CN,8,1");
    QTest::newRow("superscript one") << QStringLiteral("9600,N,8,\u00B9");
}

void TestReaders::lookalikesRefused() {
    QFETCH(QString, text);
    QVERIFY(!parseSettings(text, false));
    QVERIFY(!parseSettings(text, true));
    MSComm comm;
    QVERIFY_THROWS_EXCEPTION(CommError, comm.setSettings(text));
    QCOMPARE(comm.Settings(), QStringLiteral("9600,N,8,1"));
}

void TestReaders::asciiLettersInEitherCase_data() {
    QTest::addColumn<QString>("letter");
    QTest::addColumn<int>("parity");
    const struct {
        const char* letter;
        QSerialPort::Parity parity;
    } rows[] = {{"N", QSerialPort::NoParity},
                {"E", QSerialPort::EvenParity},
                {"O", QSerialPort::OddParity},
                {"M", QSerialPort::MarkParity},
                {"S", QSerialPort::SpaceParity}};
    for (const auto& row : rows) {
        QTest::newRow(row.letter) << QString::fromLatin1(row.letter) << int(row.parity);
        const QString lower = QString::fromLatin1(row.letter).toLower();
        QTest::newRow(qPrintable(lower)) << lower << int(row.parity);
    }
}

void TestReaders::asciiLettersInEitherCase() {
    QFETCH(QString, letter);
    QFETCH(int, parity);
    const auto line = parseSettings(QStringLiteral("9600,%1,8,1").arg(letter), false);
    QVERIFY(line);
    QCOMPARE(int(line->parity), parity);
}

QTEST_GUILESS_MAIN(TestReaders)
#include "tst_readers.moc"
