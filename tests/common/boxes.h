#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace kavtest {

// What a modal box showed, recorded before it was answered.
struct BoxSeen {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasPixmap = false;
    QMessageBox::StandardButtons standardButtons;
    qsizetype buttonCount = 0;
    bool yesIsDefault = false;
    QString yesText;
    QString noText;
};

enum class Answer { Default, Yes, No, Return, Escape, Close };

// Watches for modal boxes while it lives, records each one and answers it, so that a box nobody
// expected makes the test fail instead of hanging it.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(Answer answer = Answer::Default) : answer_(answer) {
        connect(&poll_, &QTimer::timeout, this, &BoxAnswerer::poll);
        poll_.start(5);
    }
    QList<BoxSeen> seen;

    QStringList texts() const {
        QStringList all;
        for (const BoxSeen& s : seen)
            all << s.text;
        return all;
    }

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == answered_)
            return;
        answered_ = box;
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        QAbstractButton* no = box->button(QMessageBox::No);
        QAbstractButton* byDefault = box->defaultButton();
        seen.append({box->text(), box->windowTitle(), box->icon(), !box->iconPixmap().isNull(),
                     box->standardButtons(), box->buttons().size(), yes && byDefault == yes,
                     yes ? yes->text() : QString(), no ? no->text() : QString()});
        QAbstractButton* fallback = byDefault ? byDefault : box->buttons().value(0);
        switch (answer_) {
        case Answer::Default:
            QTest::mouseClick(fallback, Qt::LeftButton);
            break;
        case Answer::Yes:
            QTest::mouseClick(yes ? yes : fallback, Qt::LeftButton);
            break;
        case Answer::No:
            QTest::mouseClick(no ? no : fallback, Qt::LeftButton);
            break;
        case Answer::Return:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case Answer::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Answer::Close:
            box->close();
            break;
        }
    }

    Answer answer_;
    QTimer poll_;
    QPointer<QMessageBox> answered_; // cleared when the box goes, so a new one counts
};

} // namespace kavtest

Q_DECLARE_METATYPE(kavtest::Answer)
