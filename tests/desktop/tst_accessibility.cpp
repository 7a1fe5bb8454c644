#include "accessibility.h"
#include "formfixture.h"
#include "keypad.h"
#include "layout.h"
#include "ptyfixture.h"
#include "textbox.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using QAccessible::Description;
using QAccessible::Name;

namespace {

QAccessibleInterface* accessible(QWidget* widget) {
    return widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
}

// What the control shows as its caption, read from the widget itself.
QString shownCaption(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(widget))
        return frame->title();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    return QString();
}

QAccessible::Role roleFor(kav::ControlKind kind) {
    switch (kind) {
    case kav::ControlKind::Label:
        return QAccessible::StaticText;
    case kav::ControlKind::ComboBox:
        return QAccessible::ComboBox;
    case kav::ControlKind::Button:
    case kav::ControlKind::ColourButton:
        return QAccessible::Button;
    case kav::ControlKind::Frame:
        return QAccessible::Grouping;
    case kav::ControlKind::TextBox:
        return QAccessible::EditableText;
    case kav::ControlKind::CheckBox:
        return QAccessible::CheckBox;
    }
    return QAccessible::NoRole;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void boxesAndListsAreNamedByTheirCaptions_data();
    void boxesAndListsAreNamedByTheirCaptions();
    void everyControlHasANameAndRole_data();
    void everyControlHasANameAndRole();
    void valueLabelsReadTheirValue_data();
    void valueLabelsReadTheirValue();
    void repeatedCaptionsAreToldApart_data();
    void repeatedCaptionsAreToldApart();
    void portStateIsToldWithoutColour();
    void aReplyOnTheLineIsReadOut();

private:
    kavtest::FormFixture* fixture_ = nullptr;
    QWidget* control(const QString& name) const {
        return fixture_->form->findChild<QWidget*>(name);
    }
};

void TestAccessibility::init() {
    fixture_ = new kavtest::FormFixture;
    QVERIFY(fixture_->start());
}

void TestAccessibility::cleanup() {
    delete fixture_;
    fixture_ = nullptr;
}

void TestAccessibility::boxesAndListsAreNamedByTheirCaptions_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QStringList>("labels"); // captions a screen reader finds labelling it
    const int edit = QAccessible::EditableText;
    const int combo = QAccessible::ComboBox;
    const QString send = QStringLiteral("送信データ");
    const QString recv = QStringLiteral("受信データ");
    const QString memory = QStringLiteral("送信データの一時保存");
    const QString text = QStringLiteral("ﾃｷｽﾄﾃﾞｰﾀ");
    const QString code = QStringLiteral("ASCｺｰﾄﾞ");
    QTest::newRow("Text3") << "Text3"
                           << "送信データ テキスト" << edit << QStringList{text, send};
    QTest::newRow("Text1") << "Text1"
                           << "送信データ ASCｺｰﾄﾞ" << edit << QStringList{code, send};
    QTest::newRow("Text4") << "Text4"
                           << "受信データ テキスト" << edit << QStringList{text, recv};
    QTest::newRow("Text2") << "Text2"
                           << "受信データ ASCｺｰﾄﾞ" << edit << QStringList{code, recv};
    QTest::newRow("Text6") << "Text6"
                           << "一時保存 1" << edit << QStringList{memory};
    QTest::newRow("Text7") << "Text7"
                           << "一時保存 2" << edit << QStringList{memory};
    QTest::newRow("Text8") << "Text8"
                           << "一時保存 3" << edit << QStringList{memory};
    QTest::newRow("Text9") << "Text9"
                           << "一時保存 4" << edit << QStringList{memory};
    QTest::newRow("Combo1") << "Combo1"
                            << "COM PORT" << combo << QStringList{"COM PORT"};
    QTest::newRow("Combo2") << "Combo2"
                            << "BAUD RATE" << combo << QStringList{"BAUD RATE"};
    QTest::newRow("Combo3") << "Combo3"
                            << "DATA BIT" << combo << QStringList{"DATA BIT"};
    QTest::newRow("Combo4") << "Combo4"
                            << "PARITY" << combo << QStringList{"PARITY"};
    QTest::newRow("Combo5") << "Combo5"
                            << "STOP BIT" << combo << QStringList{"STOP BIT"};
}

void TestAccessibility::boxesAndListsAreNamedByTheirCaptions() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QStringList, labels);
    QWidget* widget = this->control(control);
    QAccessibleInterface* iface = accessible(widget);
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(widget->accessibleName(), name);

    QStringList labelledBy;
    for (const auto& [partner, relation] : iface->relations(QAccessible::Label))
        labelledBy << partner->text(Name);
    for (const QString& label : labels)
        QVERIFY2(labelledBy.contains(label), qPrintable(labelledBy.join(QLatin1Char(','))));

    if (auto* box = qobject_cast<kav::TextBox*>(widget)) {
        // The name stays while the contents, read as the value, change.
        QCOMPARE(iface->text(Name), name);
        box->setText(QStringLiteral("[STX]AB"));
        QCOMPARE(iface->text(Name), name);
        QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("[STX]AB"));
    } else {
        auto* list = qobject_cast<QComboBox*>(widget);
        QCOMPARE(iface->text(QAccessible::Value), list->currentText());
#ifdef Q_OS_UNIX
        // Qt reports an editable list's text as its name here; the caption comes as its label.
        QCOMPARE(iface->text(Name), list->currentText());
#else
        QCOMPARE(iface->text(Name), name);
#endif
    }
}

void TestAccessibility::everyControlHasANameAndRole_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("namedByCaption");
    for (const kav::ControlSpec& item : kav::formControls()) {
        const bool captioned =
            item.kind != kav::ControlKind::TextBox && item.kind != kav::ControlKind::ComboBox &&
            qstrcmp(item.name, "Label7") != 0 && qstrcmp(item.name, "Label12") != 0;
        QTest::newRow(item.name) << QString::fromLatin1(item.name) << int(roleFor(item.kind))
                                 << captioned;
    }
    for (const kav::KeypadKey& key : kav::keypadKeys())
        QTest::newRow(qPrintable(key.objectName()))
            << key.objectName() << int(QAccessible::Button) << true;
}

void TestAccessibility::everyControlHasANameAndRole() {
    QFETCH(QString, control);
    QFETCH(int, role);
    QFETCH(bool, namedByCaption);
    QWidget* widget = this->control(control);
    QVERIFY2(widget, qPrintable(control));
    QAccessibleInterface* iface = accessible(widget);
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    if (control == QLatin1String("Label12"))
        qobject_cast<QLabel*>(widget)->setText(QStringLiteral("0.1")); // empty until a send
    QVERIFY2(!iface->text(Name).trimmed().isEmpty(), qPrintable(control));
    if (namedByCaption) {
        QCOMPARE(iface->text(Name), shownCaption(widget));
        QVERIFY(widget->accessibleName().isEmpty()); // the caption itself, not a copy of it
    }
    // The interface is part of the window's tree, so a screen reader walking it finds the control.
    QAccessibleInterface* window = accessible(fixture_->form.get());
    QAccessibleInterface* up = iface;
    while (up && up != window)
        up = up->parent();
    QCOMPARE(up, window);
}

void TestAccessibility::valueLabelsReadTheirValue_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("atStart"); // what is read right after start-up
    QTest::newRow("byte count") << "Label7"
                                << "受信バイト数" << QStringList{"3", "1000", "Over 1000", "0"}
                                << "0";
    // Empty until the first send: read by its caption then, not by the frame's.
    QTest::newRow("reception time")
        << "Label12"
        << "受信時間" << QStringList{"0.1", "0.3", "12.5", "60.1"} << "受信時間";
}

void TestAccessibility::valueLabelsReadTheirValue() {
    QFETCH(QString, control);
    QFETCH(QString, description);
    QFETCH(QStringList, values);
    QFETCH(QString, atStart);
    auto* label = qobject_cast<QLabel*>(this->control(control));
    QVERIFY(label);
    QAccessibleInterface* iface = accessible(label);
    QCOMPARE(iface->text(Description), description);
    QVERIFY(label->accessibleName().isEmpty());
    QCOMPARE(iface->text(Name), atStart);
    for (const QString& value : values) {
        label->setText(value);
        QCOMPARE(iface->text(Name), value);
        QCOMPARE(iface->text(Description), description);
        QCOMPARE(iface->role(), QAccessible::StaticText);
    }
}

void TestAccessibility::repeatedCaptionsAreToldApart_data() {
    QTest::addColumn<QStringList>("controls");
    QTest::newRow("clear buttons") << QStringList{"Command131", "Command29"};
    QTest::newRow("write buttons")
        << QStringList{"Command135", "Command132", "Command138", "Command139"};
    QTest::newRow("read buttons") << QStringList{"Command137", "Command140", "Command141",
                                                 "Command142"};
    QTest::newRow("views and lists")
        << QStringList{"Text3", "Text1",  "Text4",  "Text2",  "Text6",  "Text7", "Text8",
                       "Text9", "Combo1", "Combo2", "Combo3", "Combo4", "Combo5"};
}

void TestAccessibility::repeatedCaptionsAreToldApart() {
    // Controls that look alike on screen must still sound different: by name or by description.
    QFETCH(QStringList, controls);
    QSet<QString> heard;
    for (const QString& name : controls) {
        QAccessibleInterface* iface = accessible(control(name));
        QVERIFY(iface);
        heard.insert(iface->text(Name) + QLatin1Char('|') + iface->text(Description));
    }
    QCOMPARE(heard.size(), controls.size());
}

void TestAccessibility::portStateIsToldWithoutColour() {
    auto* open = qobject_cast<QPushButton*>(control(QStringLiteral("Command133")));
    auto* close = qobject_cast<QPushButton*>(control(QStringLiteral("Command134")));
    QAccessibleInterface* openIface = accessible(open);
    QAccessibleInterface* closeIface = accessible(close);
    // Start-up paints the faces for a closed port.
    QCOMPARE(openIface->text(Description), kav::portClosedDescription());
    QCOMPARE(closeIface->text(Description), kav::portClosedDescription());
    QCOMPARE(openIface->text(Name), QStringLiteral("OPEN"));
    QCOMPARE(closeIface->text(Name), QStringLiteral("CLOSE"));
    QVERIFY(kav::portOpenDescription() != kav::portClosedDescription());
}

void TestAccessibility::aReplyOnTheLineIsReadOut() {
    // A real exchange on a pseudo-terminal: the port state and the two values as the window
    // shows them are what the accessibility interface reports.
    kavtest::Pty pty;
    QVERIFY(pty.ok());
    QVERIFY(kavtest::linkPort(1, pty.slaveName));
    auto* open = qobject_cast<QPushButton*>(control(QStringLiteral("Command133")));
    auto* close = qobject_cast<QPushButton*>(control(QStringLiteral("Command134")));
    auto* count = qobject_cast<QLabel*>(control(QStringLiteral("Label7")));
    auto* time = qobject_cast<QLabel*>(control(QStringLiteral("Label12")));

    QTest::mouseClick(open, Qt::LeftButton);
    QVERIFY(fixture_->form->comm().PortOpen());
    QCOMPARE(accessible(open)->text(Description), kav::portOpenDescription());
    QCOMPARE(accessible(close)->text(Description), kav::portOpenDescription());

    QTest::mouseClick(control(QStringLiteral("Command3")), Qt::LeftButton); // STX
    QTest::mouseClick(control(QStringLiteral("Command130")), Qt::LeftButton);
    QCOMPARE(pty.read(1), QByteArray("\x02"));
    QTRY_VERIFY_WITH_TIMEOUT(!time->text().isEmpty(), 5000); // at least one tick shown
    QVERIFY(pty.write(QByteArray("A\r\n")));
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("3"), 5000);
    QCOMPARE(accessible(count)->text(Name), QStringLiteral("3"));
    QCOMPARE(accessible(time)->text(Name), time->text());
    QVERIFY(time->text().contains(QLatin1Char('.')) || time->text().toInt() > 0);
    QCOMPARE(accessible(time)->text(Description), QStringLiteral("受信時間"));
    QCOMPARE(accessible(control(QStringLiteral("Text4")))->text(QAccessible::Value),
             QStringLiteral("A[CR][LF]"));

    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!fixture_->form->comm().PortOpen());
    QCOMPARE(accessible(open)->text(Description), kav::portClosedDescription());
    QCOMPARE(accessible(close)->text(Description), kav::portClosedDescription());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
