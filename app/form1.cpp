#include "form1.h"

#include "accessibility.h"
#include "colourbutton.h"
#include "layout.h"
#include "singleinstance.h"
#include "textbox.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <vector>

namespace kav {

namespace {

constexpr int px(int twips) {
    return twips / TwipsPerPixel;
}

QFont formFont(qreal points) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QWidget* makeControl(const ControlSpec& item, QWidget* container) {
    const QString caption = QString::fromUtf8(item.caption);
    switch (item.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(caption, container);
        return label;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(container);
        combo->setEditable(true);
        // Only the text as typed counts: no completion, and nothing typed joins the list.
        combo->setCompleter(nullptr);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setDuplicatesEnabled(true);
        combo->setFont(formFont(9));
        return combo;
    }
    case ControlKind::Button:
        return new QPushButton(caption, container);
    case ControlKind::ColourButton:
        return new ColourButton(caption, container);
    case ControlKind::Frame:
        return new QGroupBox(caption, container);
    case ControlKind::TextBox:
        return new TextBox(container);
    case ControlKind::CheckBox: {
        auto* check = new QCheckBox(caption, container);
        check->setChecked(false);
        return check;
    }
    }
    return nullptr;
}

} // namespace

void setFaceColour(QPushButton* button, FormColour colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour.toQColor());
    button->setPalette(palette);
}

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kavetta"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(formFont(11.25));
    setFixedSize(px(ClientWidthTwips), px(ClientHeightTwips));
    buildLayout();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(100);
    // A coarse timer drifts by several per cent; the reply time is read off this count.
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer1.start();
    MSComm1.setObjectName(QStringLiteral("MSComm1"));

    connectAll();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setUpAccessibility(this);
}

Form1::~Form1() {
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
    delete instance_;
}

namespace {

struct TabStop {
    int place;
    QWidget* widget;
};

void chainTabOrder(std::vector<TabStop>& stops) {
    std::sort(stops.begin(), stops.end(),
              [](const TabStop& a, const TabStop& b) { return a.place < b.place; });
    for (size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1].widget, stops[i].widget);
}

} // namespace

void Form1::buildLayout() {
    std::vector<TabStop> tabStops;
    QHash<QByteArrayView, QWidget*> frames;
    for (const ControlSpec& item : formControls()) {
        QWidget* container = item.container ? frames.value(item.container) : this;
        QWidget* widget = makeControl(item, container);
        widget->setObjectName(QString::fromLatin1(item.name));
        widget->setGeometry(px(item.left), px(item.top), px(item.width), px(item.height));
        if (item.kind == ControlKind::Frame)
            frames.insert(item.name, widget);
        if (item.kind == ControlKind::TextBox && qstrcmp(item.name, "Text3") != 0) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Base, palette.color(QPalette::Button));
            widget->setPalette(palette);
        }
        if (item.bind)
            item.bind(*this, widget);
        if (widget->focusPolicy() != Qt::NoFocus)
            tabStops.push_back({item.tabPlace, widget});
    }
    for (const KeypadKey& key : keypadKeys())
        tabStops.push_back({key.tabPlace, addKeypadButton(key)});
    chainTabOrder(tabStops);

    Text3->setMaxLength(256);
    Text3->installEventFilter(this);
    for (QLabel* value : {Label7, Label12}) {
        // The two value labels read as fields, set off from the captions beside them.
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    ShowPortState(); // the port is closed
    Combo3->setFocus();
}

QPushButton* Form1::addKeypadButton(const KeypadKey& key) {
    auto* button = new QPushButton(QString::fromUtf8(key.caption), this);
    button->setObjectName(key.objectName());
    button->setFont(formFont(9.75));
    button->setGeometry(px(KeypadLeft + key.column * KeypadColumnStep),
                        px(KeypadTop + key.row * KeypadRowStep), px(KeypadWidth), px(KeypadHeight));
    keypad_.push_back(button);
    return button;
}

void Form1::connectAll() {
    connect(Command136, &QPushButton::clicked, this, &Form1::Command136_Click);
    connectEditor();
    connectSerial();
    connectReception();
    connectMemory();
}

bool Form1::Form_Load() {
    instance_ = new SingleInstance();
    if (!instance_->acquire())
        return false;
    fillPortLists();
    send_.Clear();
    clearSendViews();
    recv_.RecvChunk.clear();
    clearReceiveViews();
    showZeroCount();
    ShowPortState();
    TickCount_ = 0;
    Timer1.stop();
    return true;
}

void Form1::Command136_Click() {
    shutdown();
}

void Form1::Form_QueryUnload() {
    shutdown();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    event->accept();
}

void Form1::shutdown() {
    // From here on no reception and no tick is handled; the steps themselves may run twice.
    shuttingDown_ = true;
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
    Timer1.stop();
    close(); // a nested close request during closing is ignored by the toolkit
    QCoreApplication::quit();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == static_cast<QObject*>(Combo1->view()) && event->type() == QEvent::Show)
        describePortList();
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        Text3_KeyDown(key->key() == Qt::Key_Backspace ? 8 : key->key());
        for (QChar ch : typedCharacters(key->modifiers(), key->text()))
            Text3_KeyPress(ch);
        // The box is read-only, so passing the key on only moves the caret or the selection.
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kav
