#pragma once

#include "form1.h"
#include "keypad.h"
#include "startup.h"
#include "textbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace kavtest {

// One key press and its release, with the text and auto-repeat flag a real keyboard gives.
inline void pressKey(QWidget* target, Qt::Key key, const QString& text,
                     Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text, autoRepeat);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text, autoRepeat);
    QApplication::sendEvent(target, &up);
}

// A started window with private runtime and configuration folders, so that tests running side
// by side never share the single-instance lock or the port folder.
struct FormFixture {
    QTemporaryDir runtime;
    QTemporaryDir config;
    std::unique_ptr<kav::Form1> form;

    enum Show { Hidden, Exposed, Active };

    bool start(Show show = Hidden) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        form = std::make_unique<kav::Form1>();
        if (!form->Form_Load())
            return false;
        if (show == Hidden)
            return true;
        form->show();
        if (show == Exposed)
            return QTest::qWaitForWindowExposed(form.get());
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    // A control by its form name; a missing one ends the run, as no test can go on without it.
    template <class T = QWidget> T* get(const QString& name) const {
        T* widget = form->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    QAbstractButton* button(int number) const {
        return get<QAbstractButton>(QStringLiteral("Command%1").arg(number));
    }

    // What a box, label, list or button shows.
    QString text(const QString& name) const {
        QWidget* w = get(name);
        if (auto* box = qobject_cast<kav::TextBox*>(w))
            return box->text();
        if (auto* label = qobject_cast<QLabel*>(w))
            return label->text();
        if (auto* combo = qobject_cast<QComboBox*>(w))
            return combo->currentText();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        qFatal("%s shows no text", qPrintable(name));
    }

    // The reception timer, a control of the window like the others.
    QTimer* timer() const { return get<QTimer>(QStringLiteral("Timer1")); }
    // One tick of it, delivered to the timer as the event loop would; a stopped timer is
    // started for the one tick and stopped again.
    void tick() const {
        QTimer* t = timer();
        const bool running = t->isActive();
        if (!running)
            t->start();
        QTimerEvent event(t->timerId());
        QCoreApplication::sendEvent(t, &event);
        if (!running)
            t->stop();
    }

    void click(const QString& name) const {
        QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton);
    }
    void click(int number) const { QTest::mouseClick(button(number), Qt::LeftButton); }
    // Clicks the keypad button that enters this code.
    void clickCode(kav::Code code) const {
        for (const kav::KeypadKey& key : kav::keypadKeys())
            if (key.code == code)
                return click(key.number);
        qFatal("no keypad button enters code %d", int(code));
    }
};

} // namespace kavtest
