#include "form1.h"

#include "textbox.h"

#include <QApplication>
#include <QPushButton>

namespace kav {

void Form1::connectEditor() {
    for (const KeypadKey& key : keypadKeys()) {
        auto* button = findChild<QPushButton*>(key.objectName());
        connect(button, &QPushButton::clicked, this, [this, &key] { keypadClick(key); });
    }
    connect(findChild<QPushButton*>(QStringLiteral("Command131")), &QPushButton::clicked, this,
            &Form1::Command131_Click);
}

void Form1::refreshSendViews() {
    Text3->setText(send_.SendText());
    Text1->setText(send_.SendHex());
}

void Form1::AppendToken() {
    if (!send_.AppendToken()) {
        QApplication::beep(); // the buffer is full; the three forms stay as they were
        return;
    }
    refreshSendViews();
}

void Form1::RemoveLastToken() {
    if (send_.RemoveLastToken())
        refreshSendViews();
}

void Form1::keypadClick(const KeypadKey& key) {
    send_.NewChar = key.code;
    send_.NewToken = key.token();
    AppendToken();
    Text3->setFocus();
}

void Form1::Text3_KeyPress(QChar ch) {
    if (!isKeyboardCharacter(ch))
        return;
    send_.NewChar = Code(ch.unicode());
    send_.NewToken = QString(ch);
    AppendToken();
}

void Form1::Text3_KeyDown(int keyCode) {
    if (keyCode == 8)
        RemoveLastToken();
}

void Form1::Command131_Click() {
    send_.Clear();
    Text3->setText(QString());
    Text1->setText(QString());
    Timer1.stop();
}

} // namespace kav
