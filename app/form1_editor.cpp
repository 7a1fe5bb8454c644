#include "form1.h"

#include "textbox.h"

#include <QApplication>
#include <QPushButton>

namespace kav {

void Form1::connectEditor() {
    const std::span<const KeypadKey> keys = keypadKeys();
    for (size_t i = 0; i < keys.size(); ++i)
        connect(keypad_[i], &QPushButton::clicked, this,
                [this, &key = keys[i]] { keypadClick(key); });
    connect(Command131, &QPushButton::clicked, this, &Form1::Command131_Click);
}

void Form1::refreshSendViews() {
    Text3->setText(send_.SendText());
    Text1->setText(send_.SendHex());
}

void Form1::clearSendViews() {
    Text3->setText(QString());
    Text1->setText(QString());
}

void Form1::clearReceiveViews() {
    Text4->setText(QString());
    Text2->setText(QString());
}

void Form1::showZeroCount() {
    recv_.RecvCount = 0;
    Label7->setText(QString::number(recv_.RecvCount));
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
    clearSendViews();
    Timer1.stop();
}

} // namespace kav
