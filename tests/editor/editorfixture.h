#pragma once

#include "form1.h"
#include "keypad.h"
#include "startup.h"
#include "textbox.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A started, shown and active window with private runtime and configuration folders, so that
// tests running side by side never share the single-instance lock or the port folder.
struct EditorFixture {
    QTemporaryDir runtime;
    QTemporaryDir config;
    std::unique_ptr<kav::Form1> form;

    bool start() {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        form = std::make_unique<kav::Form1>();
        if (!form->Form_Load())
            return false;
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    kav::TextBox* box(const char* name) const {
        return form->findChild<kav::TextBox*>(QLatin1String(name));
    }
    QString text3() const { return box("Text3")->text(); }
    QString text1() const { return box("Text1")->text(); }
    QPushButton* button(int number) const {
        return form->findChild<QPushButton*>(QStringLiteral("Command%1").arg(number));
    }
    void click(int number) const { QTest::mouseClick(button(number), Qt::LeftButton); }
    // Clicks the keypad button that enters this code.
    void clickCode(kav::Code code) const {
        for (const kav::KeypadKey& key : kav::keypadKeys())
            if (key.code == code)
                return click(key.number);
        QFAIL("no keypad button enters that code");
    }
};
