#pragma once

#include "form1.h"
#include "startup.h"

#include <QTemporaryDir>
#include <memory>

// A started window with private runtime and configuration folders, so that tests running side
// by side never share the single-instance lock or the port folder.
struct FormFixture {
    QTemporaryDir runtime;
    QTemporaryDir config;
    std::unique_ptr<kav::Form1> form;

    bool start() {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        form = std::make_unique<kav::Form1>();
        return form->Form_Load();
    }
};
