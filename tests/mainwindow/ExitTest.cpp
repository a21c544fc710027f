// Ending the program while pulses end: whatever the order of a pulse's end and
// the window's destruction, no freed delay thread may be touched (run it under
// AddressSanitizer, which reports the use of a freed one).
#include <gtest/gtest.h>

#include <QTest>
#include <chrono>

#include "WindowHarness.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"

namespace {

// Keeps this thread busy without turning the event loop: pulses that end meanwhile
// wait for their finish handlers, and this thread has used up its time slice, so
// the threads the shutdown wakes tend to run before it goes on.
void Busy(std::chrono::microseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) {
    }
}

}  // namespace

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
