// Ending the program: through the setup panel, the application's main form; and
// while pulses end, where whatever the order of a pulse's end and the window's
// destruction, no freed delay thread may be touched (run it under AddressSanitizer,
// which reports the use of a freed one).
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>

#include "WindowHarness.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/RangeSpinEdit.h"

namespace {

// Keeps this thread busy without turning the event loop: pulses that end meanwhile
// wait for their finish handlers, and this thread has used up its time slice, so
// the threads the shutdown wakes tend to run before it goes on.
void Busy(std::chrono::microseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) {
    }
}

// Runs the message loop with the steps queued in it; gives what Run returned, or
// -1 when the loop had to be ended from outside.
int RunLoop(const std::function<void()>& steps) {
    QObject scope;
    bool cutOff = false;
    QTimer::singleShot(0, &scope, steps);
    QTimer::singleShot(10000, &scope, [&] {
        cutOff = true;
        QCoreApplication::exit(1);
    });
    const int code = Application->Run();
    return cutOff ? -1 : code;
}

// The window system's close request (Alt+F4), as Qt passes it on: spontaneous.
void SystemClose(QWidget& w) {
    QCloseEvent e;
    QCoreApplication::sendEvent(w.windowHandle(), &e);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray Before = "[Misc]\r\nStepWindow=3\r\n";

void MakeReadOnly(const QString& path, bool readOnly) {
    QFile::setPermissions(path, readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace

// The setup panel is the main form: closing it ends the program at once and without
// the main window's save, so a file that can't be written keeps nothing running.
TEST(Exit, AltF4OnTheSetupPanelEndsTheProgramWithoutSaving) {
    WindowHarness h;
    h.WriteIni(Before);
    MakeReadOnly(h.IniPath(), true);
    h.Open();
    h.setup->SpinWin->SetValue(5);
    EXPECT_EQ(RunLoop([&] { SystemClose(*h.setup); }), 0);
    EXPECT_TRUE(h.boxes.empty());
    EXPECT_EQ(ReadFile(h.IniPath()), Before);
    MakeReadOnly(h.IniPath(), false);
}

TEST(Exit, EndingWhilePulsesEndTouchesNoFreedThread) {
    // The exit lands before, at and well after the pulses' 10 ms ends.
    const int spansUs[] = {0, 9000, 10000, 11000, 15000, 40000};
    for (int round = 0; round < 12; ++round) {
        WindowHarness h;
        h.PresentPorts({0x378});
        h.Open();
        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
            h.form->spin[p]->SetText(QStringLiteral("0.01"));
        }
        QTest::qWait(20);
        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
            h.form->btnPoint[p]->Click();
        }
        Busy(std::chrono::microseconds(spansUs[round % std::size(spansUs)]));
        h.Close();
        EXPECT_EQ(h.ports.latch[0x378], 0xFF) << "no end write once the window is gone";
    }
}
