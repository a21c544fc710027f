#include "WindowHarness.h"

#include <QFile>

void WindowHarness::WriteIni(const QByteArray& text) {
    QFile f(IniPath());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
}

void WindowHarness::Open() {
    setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;
    env.Ports = &ports;
    env.IniPath = IniPath();
    env.HelpFolder = dir.path();
    env.UseInstanceGuard = false;
    env.UseTrayIcon = false;
    form = std::make_unique<TForm1>(env);
}

void WindowHarness::Close() {
    form.reset();
    setup.reset();
}

std::vector<std::uint8_t> WindowHarness::Writes(std::uint16_t address) const {
    std::vector<std::uint8_t> out;
    for (const auto& a : ports.accesses) {
        if (a.write && a.address == address) {
            out.push_back(a.value);
        }
    }
    return out;
}
