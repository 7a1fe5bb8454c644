#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

// Answers every modal message box that comes up, recording its text, caption and button count,
// then pressing its default button.
class BoxAnswerer : public QObject {
public:
    QStringList texts;
    QStringList captions;
    QList<int> buttonCounts;

    BoxAnswerer() {
        poll_.setInterval(5);
        connect(&poll_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == answered_)
                return;
            answered_ = box;
            texts << box->text();
            captions << box->windowTitle();
            buttonCounts << int(box->buttons().size());
            QAbstractButton* button = box->defaultButton();
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().constFirst();
            if (button)
                button->click();
        });
        poll_.start();
    }

private:
    QTimer poll_;
    QPointer<QMessageBox>
        answered_; // cleared when the box goes, so a new one at the same address counts
};
