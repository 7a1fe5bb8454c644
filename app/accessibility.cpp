#include "accessibility.h"

#include <QLabel>
#include <QWidget>
#include <array>

namespace kav {

namespace {

constexpr std::array<AccessibleText, 26> texts = {{
    // Port settings: each list is named by the caption above it.
    {"Combo1", "COM PORT", nullptr, "Label1"},
    {"Combo2", "BAUD RATE", nullptr, "Label2"},
    {"Combo3", "DATA BIT", nullptr, "Label3"},
    {"Combo4", "PARITY", nullptr, "Label4"},
    {"Combo5", "STOP BIT", nullptr, "Label5"},
    // Send and receive views: frame caption and row caption together.
    {"Text3", "送信データ テキスト", nullptr, "Label17"},
    {"Text1", "送信データ ASCｺｰﾄﾞ", nullptr, "Label10"},
    {"Text4", "受信データ テキスト", nullptr, "Label18"},
    {"Text2", "受信データ ASCｺｰﾄﾞ", nullptr, "Label11"},
    // Values: read as what they show, described by what they are. Until the first send the
    // reception time is empty and is then read by its caption.
    {"Label7", nullptr, "受信バイト数", nullptr},
    {"Label12", nullptr, "受信時間", "Label8"},
    // Buttons whose caption repeats elsewhere on the window say where they act.
    {"Command131", nullptr, "送信データを消去", nullptr},
    {"Command29", nullptr, "受信データを消去", nullptr},
    {"Check1", nullptr, "送信の前に受信データを消去", nullptr},
    // Memory slots, one row each.
    {"Text6", "一時保存 1", nullptr, nullptr},
    {"Text7", "一時保存 2", nullptr, nullptr},
    {"Text8", "一時保存 3", nullptr, nullptr},
    {"Text9", "一時保存 4", nullptr, nullptr},
    {"Command135", nullptr, "一時保存 1 に書込", nullptr},
    {"Command132", nullptr, "一時保存 2 に書込", nullptr},
    {"Command138", nullptr, "一時保存 3 に書込", nullptr},
    {"Command139", nullptr, "一時保存 4 に書込", nullptr},
    {"Command137", nullptr, "一時保存 1 から読出", nullptr},
    {"Command140", nullptr, "一時保存 2 から読出", nullptr},
    {"Command141", nullptr, "一時保存 3 から読出", nullptr},
    {"Command142", nullptr, "一時保存 4 から読出", nullptr},
}};

void apply(QWidget* form, const AccessibleText& entry) {
    auto* widget = form->findChild<QWidget*>(QString::fromLatin1(entry.objectName));
    if (!widget)
        return;
    if (entry.name)
        widget->setAccessibleName(QString::fromUtf8(entry.name));
    if (entry.description)
        widget->setAccessibleDescription(QString::fromUtf8(entry.description));
    // A caption label with the control as its buddy is what a screen reader on Linux announces
    // as the control's label. The captions carry no '&', so no shortcut comes with it.
    if (entry.caption)
        if (auto* label = form->findChild<QLabel*>(QString::fromLatin1(entry.caption)))
            label->setBuddy(widget);
}

} // namespace

std::span<const AccessibleText> accessibleTexts() {
    return texts;
}

QString portOpenDescription() {
    return QStringLiteral("ポートは開いています");
}

QString portClosedDescription() {
    return QStringLiteral("ポートは閉じています");
}

void setUpAccessibility(QWidget* form) {
    for (const AccessibleText& entry : accessibleTexts())
        apply(form, entry);
}

} // namespace kav
