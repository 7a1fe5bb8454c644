#include "formfixture.h"
#include "textbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOption>
#include <QtTest>

// The window as drawn, transcribed independently of the program's own table so that a wrong
// value on either side shows up. Twips; 15 to a pixel.
struct Expected {
    const char* name;
    const char* kind;
    const char* container;
    const char* caption;
    int left, top, width, height, tab;
};

static const Expected expectedControls[] = {
    {"Label1", "QLabel", "Form1", "COM PORT", 240, 0, 1440, 255, 23},
    {"Combo1", "QComboBox", "Form1", "", 240, 360, 1215, 300, 22},
    {"Label2", "QLabel", "Form1", "BAUD RATE", 1680, 0, 1440, 255, 3},
    {"Combo2", "QComboBox", "Form1", "", 1680, 360, 1215, 300, 21},
    {"Label3", "QLabel", "Form1", "DATA BIT", 3120, 0, 1215, 255, 4},
    {"Combo3", "QComboBox", "Form1", "", 3120, 360, 1215, 300, 0},
    {"Label4", "QLabel", "Form1", "PARITY", 4440, 0, 1215, 255, 5},
    {"Combo4", "QComboBox", "Form1", "", 4440, 360, 1215, 300, 1},
    {"Label5", "QLabel", "Form1", "STOP BIT", 5760, 0, 1215, 255, 6},
    {"Combo5", "QComboBox", "Form1", "", 5760, 360, 1215, 300, 2},
    {"Label6", "QLabel", "Form1", "PORT", 7680, 0, 855, 255, 66},
    {"Command133", "kav::ColourButton", "Form1", "OPEN", 7080, 240, 855, 495, 55},
    {"Command134", "kav::ColourButton", "Form1", "CLOSE", 8040, 240, 855, 495, 56},
    {"Command136", "QPushButton", "Form1", "終了", 9120, 240, 975, 495, 73},
    {"Frame1", "QGroupBox", "Form1", "送信データ", 1800, 720, 9375, 2055, 57},
    {"Frame2", "QGroupBox", "Form1", "受信データ", 1800, 2760, 9375, 2055, 60},
    {"Frame3", "QGroupBox", "Form1", "送信データの一時保存", 1800, 5040, 9375, 2775, 76},
    {"Label16", "QLabel", "Form1", "Kavetta Ver3.00", 3360, 7800, 7455, 255, 69},
    {"Command130", "QPushButton", "Frame1", "送信", 1560, 240, 1095, 375, 58},
    {"Command131", "QPushButton", "Frame1", "消去", 2880, 240, 1095, 375, 59},
    {"Label17", "QLabel", "Frame1", "ﾃｷｽﾄﾃﾞｰﾀ", 120, 840, 1215, 255, 70},
    {"Text3", "kav::TextBox", "Frame1", "", 1560, 720, 7695, 615, 72},
    {"Label10", "QLabel", "Frame1", "ASCｺｰﾄﾞ", 120, 1440, 975, 255, 67},
    {"Text1", "kav::TextBox", "Frame1", "", 1560, 1320, 7695, 615, 62},
    {"Check1", "QCheckBox", "Frame2", "自動消去", 1560, 360, 1335, 255, 75},
    {"Command29", "QPushButton", "Frame2", "消去", 2880, 240, 1095, 375, 91},
    {"Label7", "QLabel", "Frame2", "0", 4560, 240, 855, 375, 61}, // start-up shows the count
    {"Label9", "QLabel", "Frame2", "Byte", 5400, 360, 615, 255, 64},
    {"Label8", "QLabel", "Frame2", "受信時間", 6480, 360, 975, 255, 89},
    {"Label12", "QLabel", "Frame2", "", 7440, 240, 1095, 375, 74},
    {"Label13", "QLabel", "Frame2", "sec", 8520, 360, 615, 255, 90},
    {"Label18", "QLabel", "Frame2", "ﾃｷｽﾄﾃﾞｰﾀ", 120, 840, 975, 255, 71},
    {"Text4", "kav::TextBox", "Frame2", "", 1560, 720, 7695, 615, 65},
    {"Label11", "QLabel", "Frame2", "ASCｺｰﾄﾞ", 120, 1440, 975, 255, 68},
    {"Text2", "kav::TextBox", "Frame2", "", 1560, 1320, 7695, 615, 63},
    {"Command135", "QPushButton", "Frame3", "書込", 120, 240, 615, 495, 88},
    {"Command137", "QPushButton", "Frame3", "読出", 720, 240, 615, 495, 87},
    {"Text6", "kav::TextBox", "Frame3", "", 1560, 240, 7695, 615, 77},
    {"Command132", "QPushButton", "Frame3", "書込", 120, 840, 615, 495, 86},
    {"Command140", "QPushButton", "Frame3", "読出", 720, 840, 615, 495, 85},
    {"Text7", "kav::TextBox", "Frame3", "", 1560, 840, 7695, 615, 78},
    {"Command138", "QPushButton", "Frame3", "書込", 120, 1440, 615, 495, 84},
    {"Command141", "QPushButton", "Frame3", "読出", 720, 1440, 615, 495, 83},
    {"Text8", "kav::TextBox", "Frame3", "", 1560, 1440, 7695, 615, 79},
    {"Command139", "QPushButton", "Frame3", "書込", 120, 2040, 615, 495, 82},
    {"Command142", "QPushButton", "Frame3", "読出", 720, 2040, 615, 495, 81},
    {"Text9", "kav::TextBox", "Frame3", "", 1560, 2040, 7695, 615, 80},
};

// The keypad: button number, caption, tab place; columns at 240/720/1200, rows 360 apart from 960.
struct ExpectedKey {
    int number;
    const char* caption;
    int tab;
};
static const ExpectedKey column1[] = {
    {1, "NUL", 51}, {2, "SOH", 52}, {3, "STX", 20}, {4, "ETX", 7},  {5, "EOT", 8},  {6, "ENQ", 9},
    {7, "ACK", 10}, {8, "BEL", 11}, {9, "BS", 12},  {10, "HT", 13}, {11, "LF", 14}, {12, "VT", 15},
    {13, "FF", 16}, {14, "CR", 17}, {15, "SO", 18}, {16, "SI", 19}};
static const ExpectedKey column2[] = {{17, "DLE", 24}, {18, "DC1", 25}, {19, "DC2", 26},
                                      {20, "DC3", 27}, {21, "DC4", 28}, {22, "NAK", 29},
                                      {23, "SYN", 30}, {24, "ETB", 31}, {25, "CAN", 54},
                                      {26, "EM", 32},  {27, "SUB", 33}, {28, "ESC", 34}};
static const ExpectedKey column3[] = {{33, "SP", 35}, {34, "!", 36}, {35, "\"", 37}, {36, "#", 38},
                                      {37, "$", 39},  {38, "%", 40}, {39, "＆", 41}, {40, "'", 42},
                                      {41, "(", 43},  {42, ")", 44}, {43, "*", 45},  {44, "+", 46},
                                      {45, "，", 47}, {46, "-", 48}, {47, "．", 49}, {48, "/", 50}};

static const std::span<const ExpectedKey> keypadColumns[] = {column1, column2, column3};

class LayoutTest : public QObject {
    Q_OBJECT
    kavtest::FormFixture fx;

    QWidget* widget(const char* name) { return fx.get(QLatin1String(name)); }

    static QString captionOf(QWidget* w) {
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        if (auto* g = qobject_cast<QGroupBox*>(w))
            return g->title();
        return QString();
    }

    static QRect pixels(int left, int top, int width, int height) {
        return QRect(left / 15, top / 15, width / 15, height / 15);
    }

    QList<std::pair<int, QWidget*>> allTabPlaces() {
        QList<std::pair<int, QWidget*>> places;
        for (const Expected& e : expectedControls)
            places.append({e.tab, widget(e.name)});
        for (std::span<const ExpectedKey> column : keypadColumns)
            for (const ExpectedKey& k : column)
                places.append({k.tab, fx.button(k.number)});
        return places;
    }

    // The width a control draws its texts in, as its style lays it out; the texts go to *texts.
    static int roomFor(QWidget* w, QStringList* texts) {
        QStyle* style = w->style();
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                *texts << combo->itemText(i);
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            option.frame = combo->hasFrame();
            return style
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                .width();
        }
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            *texts << box->text();
            QStyleOptionButton option;
            option.initFrom(box);
            option.text = box->text();
            return style->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
        }
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            *texts << button->text();
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            *texts << label->text();
            return label->contentsRect().width() - 2 * label->margin();
        }
        if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            *texts << frame->title();
            return frame->width() - 2 * style->pixelMetric(QStyle::PM_LayoutLeftMargin);
        }
        return 0;
    }

private slots:
    void initTestCase() {
        kav::setUpApplication();
        QVERIFY(fx.start(kavtest::FormFixture::Exposed));
    }

    void window() {
        QCOMPARE(fx.form->windowTitle(), QStringLiteral("Kavetta"));
        QCOMPARE(fx.form->size(), QSize(754, 541)); // 11310 x 8115 twips
        QCOMPARE(fx.form->minimumSize(), fx.form->maximumSize());
        const QFont font = fx.form->font();
        QCOMPARE(font.family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(font.pointSizeF(), 11.25);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
        const QRect screen = fx.form->screen()->availableGeometry();
        const QPoint offCentre = fx.form->frameGeometry().center() - screen.center();
        // Centred before it is shown, when the frame's thickness is not known yet.
        QVERIFY2(qAbs(offCentre.x()) <= 4 && qAbs(offCentre.y()) <= 4,
                 qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
    }

    void controls_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(expectedControls)); ++i)
            QTest::newRow(expectedControls[i].name) << i;
    }
    void controls() {
        QFETCH(int, index);
        const Expected& e = expectedControls[index];
        QWidget* w = widget(e.name);
        QVERIFY2(w, e.name);
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), QString::fromLatin1(e.kind));
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(e.container));
        QCOMPARE(captionOf(w), QString::fromUtf8(e.caption));
        QCOMPARE(w->geometry(), pixels(e.left, e.top, e.width, e.height));
        QVERIFY(w->isVisible());
        QVERIFY(w->isEnabled());
    }

    void keypad_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        int left = 240;
        for (std::span<const ExpectedKey> column : keypadColumns) {
            int top = 960;
            for (const ExpectedKey& k : column) {
                QTest::addRow("Command%d", k.number)
                    << k.number << QString::fromUtf8(k.caption) << pixels(left, top, 495, 375);
                top += 360;
            }
            left += 480;
        }
    }
    void keypad() {
        QFETCH(int, number);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        QAbstractButton* button = fx.button(number);
        QCOMPARE(button->parentWidget(), fx.form.get());
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->geometry(), geometry);
        QCOMPARE(button->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(button->font().pointSizeF(), 9.75);
    }

    void keypadHasNoOtherButtons() {
        int keypad = 0;
        for (QPushButton* b : fx.form->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
            if (b->geometry().left() < 1800 / 15)
                ++keypad;
        QCOMPARE(keypad, 44);
        for (int n : {30, 31, 32})
            QVERIFY(!fx.form->findChild<QPushButton*>(QStringLiteral("Command%1").arg(n)));
    }

    void tabOrder() {
        auto places = allTabPlaces();
        std::sort(places.begin(), places.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<QWidget*> expected;
        for (const auto& [place, w] : places)
            if (w->focusPolicy() & Qt::TabFocus)
                expected.append(w);
        // Every button, box, list and the check box takes part; labels and frames do not.
        QCOMPARE(expected.size(), 44 + 5 + 14 + 8 + 1);
        QCOMPARE(expected.first()->objectName(), QStringLiteral("Combo3"));
        QWidget* w = expected.first();
        for (int i = 1; i < expected.size(); ++i) {
            w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy())
                w = w->nextInFocusChain();
            QCOMPARE(w->objectName(), expected[i]->objectName());
        }
    }

    void focusStartsOnCombo3() { QTRY_VERIFY(widget("Combo3")->hasFocus()); }

    void fonts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qreal>("points");
        for (const char* combo : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5"})
            QTest::newRow(combo) << combo << 9.0;
        for (const char* other : {"Label1", "Command133", "Command136", "Text3", "Text2", "Check1",
                                  "Label7", "Frame3", "Command135"})
            QTest::newRow(other) << other << 11.25;
    }
    void fonts() {
        QFETCH(QString, name);
        QFETCH(qreal, points);
        QWidget* w = fx.get(name);
        QCOMPARE(w->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(w->font().pointSizeF(), points);
        // The face must resolve to a font that has the Japanese captions, not to boxes.
        QFontMetrics metrics(w->font());
        for (QChar ch : QStringLiteral("送信データﾃｷｽﾄ終了"))
            QVERIFY2(metrics.inFontUcs4(ch.unicode()), qPrintable(QString(ch)));
    }

    void colours() {
        auto face = [this](const char* name) {
            return widget(name)->palette().color(QPalette::Button);
        };
        QCOMPARE(face("Command133"), QColor(192, 192, 192));
        QCOMPARE(face("Command134"), QColor(255, 0, 0));
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        for (const char* name : {"Text1", "Text2", "Text4", "Text6", "Text7", "Text8", "Text9"})
            QCOMPARE(widget(name)->palette().color(QPalette::Base), buttonFace);
        QCOMPARE(widget("Text3")->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::Base));
    }

    void textBoxes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("maxLength");
        for (const char* name : {"Text1", "Text2", "Text4", "Text6", "Text7", "Text8", "Text9"})
            QTest::newRow(name) << name << 0;
        QTest::newRow("Text3") << "Text3" << 256;
    }
    void textBoxes() {
        QFETCH(QString, name);
        QFETCH(int, maxLength);
        auto* box = fx.get<kav::TextBox>(name);
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        QCOMPARE(box->maxLength(), maxLength);
    }

    void valueLabelsAreSetOff() {
        for (const char* name : {"Label7", "Label12"}) {
            auto* label = fx.get<QLabel>(QLatin1String(name));
            QVERIFY(label->frameShape() != QFrame::NoFrame);
            QVERIFY(label->alignment() & Qt::AlignRight);
        }
    }

    // Every caption, button text and list entry fits the room its control draws it in, at the
    // scale factors a desktop offers. At a scale the text is rasterised at the physical size, so
    // it is measured there and brought back to the layout's pixels.
    void textsFitTheirRoom_data() {
        QTest::addColumn<qreal>("scale");
        for (qreal scale : {1.0, 1.25, 1.5, 2.0})
            QTest::newRow(qPrintable(QStringLiteral("%1 %").arg(scale * 100))) << scale;
    }
    void textsFitTheirRoom() {
        QFETCH(qreal, scale);
        QStringList cut;
        for (QWidget* w : fx.form->findChildren<QWidget*>()) {
            QStringList texts;
            const int room = roomFor(w, &texts);
            QFont font = w->font();
            font.setPointSizeF(font.pointSizeF() * scale);
            const QFontMetricsF metrics(font);
            for (const QString& text : std::as_const(texts)) {
                const qreal width = std::max(metrics.horizontalAdvance(text),
                                             metrics.tightBoundingRect(text).right()) /
                                    scale;
                if (width > room)
                    cut << QStringLiteral("%1 \"%2\": %3 px in %4")
                               .arg(w->objectName(), text)
                               .arg(width, 0, 'f', 1)
                               .arg(room);
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
    }

    void timerInterval() {
        QCOMPARE(fx.form->timer().interval(), 100);
        QCOMPARE(fx.form->timer().timerType(), Qt::PreciseTimer);
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
