// The slot store without a window: long random runs of editing, saving and loading, checked
// after every step against a plain model of what each slot and the buffer must hold.

#include "keypad.h"
#include "mnemonics.h"
#include "slots.h"

#include <QRandomGenerator>
#include <QTest>
#include <array>

using namespace kav;

namespace {

QString tokensOf(const CodeString& codes) {
    QString text;
    for (Code c : codes)
        text += sendToken(c);
    return text;
}

} // namespace

class TestSlotStore : public QObject {
    Q_OBJECT

private slots:
    void randomRuns_data();
    void randomRuns();
};

void TestSlotStore::randomRuns_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 7u, 42u, 2024u, 65537u})
        QTest::addRow("seed %u", seed) << seed;
}

void TestSlotStore::randomRuns() {
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);

    // Every code the operator can enter: the keypad's and the keyboard's.
    QList<Code> enterable;
    for (const KeypadKey& key : keypadKeys())
        enterable.append(key.code);
    for (Code c = 48; c <= 125; ++c)
        enterable.append(c);

    SendBuffer buffer;
    SlotStore store;
    CodeString model;
    std::array<CodeString, SlotStore::Count> slotModel;

    for (int step = 0; step < 3000; ++step) {
        const int n = random.bounded(1, SlotStore::Count + 1);
        switch (random.bounded(10)) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const Code c = enterable[random.bounded(enterable.size())];
            buffer.NewChar = c;
            buffer.NewToken = sendToken(c);
            QVERIFY(buffer.AppendToken());
            model.append(c);
            break;
        }
        case 4:
        case 5:
            QCOMPARE(buffer.RemoveLastToken(), !model.isEmpty());
            if (!model.isEmpty())
                model.removeLast();
            break;
        case 6:
            if (random.bounded(4) == 0) { // clearing is rare, so buffers grow long enough
                buffer.Clear();
                model.clear();
            }
            break;
        case 7:
        case 8:
            store.SaveSlot(n, buffer);
            slotModel[size_t(n - 1)] = model;
            break;
        case 9:
            store.LoadSlot(n, buffer);
            model = slotModel[size_t(n - 1)];
            break;
        }

        QCOMPARE(buffer.SendData(), model);
        QCOMPARE(buffer.SendText(), tokensOf(model));
        QCOMPARE(buffer.SendHex(), hexOf(model));
        for (int k = 1; k <= SlotStore::Count; ++k) {
            const SlotStore::Slot& s = store.slot(k);
            const CodeString& expected = slotModel[size_t(k - 1)];
            QCOMPARE(s.data, expected);
            QCOMPARE(s.text, tokensOf(expected));
            QCOMPARE(s.hex, hexOf(expected));
        }
    }
}

QTEST_APPLESS_MAIN(TestSlotStore)
#include "tst_slotstore.moc"
