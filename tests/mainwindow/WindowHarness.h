// Brings the two windows up on a recording port layer, with a private settings
// file and the message boxes recorded instead of shown.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "support/FakePortSystem.h"

struct Box {
    TApplication::BoxKind kind;
    QString caption, text;
};

class WindowHarness {
public:
    WindowHarness() {
        // Each harness is a fresh start, whatever an earlier test in this process asked for.
        Application->CancelTerminate();
        Application->SetBoxReporter([this](auto k, auto c, auto t) { boxes.push_back({k, c, t}); });
    }
    ~WindowHarness() { Close(); }

    // Ports present at the given bases answer like latches; the others read 0xFF.
    void PresentPorts(std::initializer_list<std::uint16_t> bases) {
        for (std::uint16_t base : {0x3BC, 0x378, 0x278}) {
            bool present = false;
            for (auto b : bases)
                present |= b == base;
            for (int r = 0; r < 3; ++r) {
                if (present) {
                    ports.fixedReads.erase(base + r);
                } else {
                    ports.fixedReads[base + r] = 0xFF;
                }
            }
        }
    }

    void WriteIni(const QByteArray& text);
    QString IniPath() const { return dir.filePath(QStringLiteral("TARVIK.INI")); }

    // Creates the setup window, then the main window (whose creation runs in full).
    void Open();
    void Close();

    // Data-register writes of a port since the last Forget().
    std::vector<std::uint8_t> Writes(std::uint16_t address) const;
    void Forget() { ports.accesses.clear(); }

    FakePortSystem ports;
    QTemporaryDir dir;
    std::vector<Box> boxes;
    std::unique_ptr<TFrmSetup> setup;
    std::unique_ptr<TForm1> form;
};
