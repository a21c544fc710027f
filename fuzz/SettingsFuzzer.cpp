// Random TARVIK.INI text through the settings load of the real windows: nothing may
// crash or read out of bounds, every value lands inside its control's range, and
// once saved, the settings must load back the same and save to the same bytes.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "support/FakePortSystem.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzzer: %s\n", what);
        std::abort();
    }
}

struct Windows {
    std::unique_ptr<TApplication> app;
    FakePortSystem ports;
    QTemporaryDir dir;
    std::unique_ptr<TFrmSetup> setup;
    std::unique_ptr<TForm1> form;
    QString ini;
};

Windows* windows = nullptr;

// Everything the settings file holds, as the windows show it.
std::vector<double> Snapshot() {
    TForm1& f = *windows->form;
    TFrmSetup& s = *windows->setup;
    std::vector<double> v;
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        v.push_back(f.spin[p]->Value());
        v.push_back(f.PinDirections[p] ? 1 : 0);
        v.push_back(f.btnTr[p]->Pressed() ? 1 : 0);
    }
    v.push_back(f.TrayPinNumber);
    v.push_back(s.rgrpPinInit->ItemIndex());
    v.push_back(s.rgrpMouseButton->ItemIndex());
    v.push_back(s.chkPreDirect->Checked());
    v.push_back(s.chkHintVisible->Checked());
    v.push_back(s.SpinStepTime->Value());
    v.push_back(s.SpinWin->Value());
    v.push_back(s.SpinTop->Value());
    return v;
}

void CheckRanges() {
    TForm1& f = *windows->form;
    TFrmSetup& s = *windows->setup;
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        Require(f.spin[p]->Value() >= 0 && f.spin[p]->Value() <= 6000, "delay out of range");
    }
    Require(s.SpinTop->Value() >= TFrmSetup::MinimumBoundary && s.SpinTop->Value() <= 100,
            "boundary out of range");
    Require(s.SpinWin->Value() >= 0 && s.SpinWin->Value() <= 100, "slide speed out of range");
}

QByteArray ReadIni() {
    QFile file(windows->ini);
    Require(file.open(QIODevice::ReadOnly), "saved file unreadable");
    return file.readAll();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    windows = new Windows;  // lives as long as the fuzzing process
    windows->app = std::make_unique<TApplication>(*argc, *argv);
    Application->SetBoxReporter([](auto, auto, auto) {});
    windows->ini = windows->dir.filePath(QStringLiteral("TARVIK.INI"));
    windows->setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;
    env.Ports = &windows->ports;
    env.IniPath = windows->ini;
    env.HelpFolder = windows->dir.path();
    env.UseInstanceGuard = false;
    env.UseTrayIcon = false;
    windows->form = std::make_unique<TForm1>(env);
    return 0;
}

// The windows keep what an earlier input loaded where a file says nothing valid,
// so the round trip is checked from the first save on, not against the input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile file(windows->ini);
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write input");
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    TForm1& f = *windows->form;
    f.IniFileWork(false);
    CheckRanges();
    f.IniFileWork(true);
    const QByteArray saved = ReadIni();
    f.IniFileWork(false);
    const std::vector<double> loaded = Snapshot();
    f.IniFileWork(true);
    Require(ReadIni() == saved, "a second save wrote other bytes");
    f.IniFileWork(false);
    Require(Snapshot() == loaded, "saved settings load back differently");
    return 0;
}
