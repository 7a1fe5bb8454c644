#pragma once

// What the hardening campaigns share beyond tests/common: typing into the lists key by key,
// reading the button colours, and the process's memory.

#include "boxes.h"
#include "form1.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace kavtest {

inline const QString PortMessage =
    QStringLiteral("COM PORTの選択に問題があります。ﾃﾞﾊﾞｲｽﾏﾈｰｼﾞｬｰでCOM PORTを確認してください。");

inline QComboBox* combo(kav::Form1& form, int n) {
    return form.findChild<QComboBox*>(QStringLiteral("Combo%1").arg(n));
}

inline QPushButton* button(kav::Form1& form, const char* name) {
    return form.findChild<QPushButton*>(QString::fromLatin1(name));
}

inline QColor faceOf(kav::Form1& form, const char* name) {
    return button(form, name)->palette().color(QPalette::Button);
}

inline bool showsClosed(kav::Form1& form) {
    return faceOf(form, "Command133") == kav::Form1::ClosedColour.toQColor() &&
           faceOf(form, "Command134") == kav::Form1::OpenColour.toQColor();
}

inline bool showsOpen(kav::Form1& form) {
    return faceOf(form, "Command133") == kav::Form1::OpenColour.toQColor() &&
           faceOf(form, "Command134") == kav::Form1::ClosedColour.toQColor();
}

// Empties the list's box and types the text into it one character at a time, as a keyboard
// (or an input method, for characters beyond the keyboard) would deliver it.
inline void typeInto(QComboBox* box, const QString& text) {
    QLineEdit* edit = box->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    for (const char32_t point : text.toUcs4()) {
        const QString typed = QString::fromUcs4(&point, 1);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, typed);
        QApplication::sendEvent(edit, &release);
    }
}

inline void clickOpen(kav::Form1& form) {
    QTest::mouseClick(button(form, "Command133"), Qt::LeftButton);
}

// The process's resident memory in KiB, from /proc/self/status (VmRSS, or VmHWM for the peak).
inline qint64 memoryKiB(const char* field = "VmRSS") {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace kavtest
