// The window harness with the tray icon built and the drag setting replaced by
// a recording one, so the tray rules and the drag handlers can be watched.
#pragma once

#include <vector>

#include "mainwindow/WindowHarness.h"
#include "platform/DragSetting.h"

class FakeDragSetting : public TDragSetting {
public:
    bool Get() override { return value; }
    void Set(bool v) override {
        value = v;
        sets.push_back(v);
    }
    bool value = false;
    std::vector<bool> sets;
};

class TrayHarness : public WindowHarness {
public:
    // As WindowHarness::Open, with the tray icon and the fake drag setting.
    void OpenWithTray() {
        setup = std::make_unique<TFrmSetup>();
        TForm1Environment env;
        env.Ports = &ports;
        env.IniPath = IniPath();
        env.HelpFolder = dir.path();
        env.DragSetting = &drag;
        env.UseInstanceGuard = false;
        env.UseTrayIcon = true;
        env.TrayAvailable = [this] { return trayHost; };
        form = std::make_unique<TForm1>(env);
    }
    ~TrayHarness() { Close(); }  // the form uses drag, which goes before the base

    FakeDragSetting drag;
    bool trayHost = true;  // whether the desktop has a tray
};
