// A stored tray pin outside 2 … 9 (the settings let "25" through) must not
// index past the button table or shift a mask out of range. This file is also
// built with the undefined-behaviour sanitizer, which turns either into a failure.
#include <gtest/gtest.h>

#include <QTimer>

#include "TrayHarness.h"
#include "widgets/GlyphButton.h"
#include "widgets/NotifyIcon.h"
#include "widgets/TransparentRadioGroup.h"

TEST(TrayPinRange, AnOutOfRangePinKeepsThePictureAndFlipsNothing) {
    for (const char* stored : {"25", "40", "2000000000"}) {
        SCOPED_TRACE(stored);
        TrayHarness h;
        h.PresentPorts({0x378});
        h.WriteIni(QByteArray("[TrayIcon]\nTrayPin=") + stored + "\n");
        h.OpenWithTray();
        TForm1& f = *h.form;
        f.Timer2->stop();
        ASSERT_EQ(f.TrayPinNumber, QByteArray(stored).toInt());
        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
            EXPECT_FALSE(f.btnTr[p]->Pressed()) << p;
        }

        h.ports.latch[0x378] = 0xFF;
        f.Timer2Timer();
        EXPECT_EQ(f.TrayIcon->PictureIndex(), 2) << "the icon keeps its picture";

        h.Forget();
        for (int item : {0, 1}) {
            FrmSetup->rgrpMouseButton->SetItemIndex(item);
            f.TrayIconMouseUp(item == 0 ? Qt::LeftButton : Qt::RightButton, QPoint());
        }
        EXPECT_TRUE(h.Writes(0x378).empty()) << "no pin to flip";
        for (TPainterThread* thread : f.PinThreads) {
            EXPECT_EQ(thread, nullptr);
        }

        // A tray button brings the rule back.
        f.btnTr2Click(f.btnTr[3]);
        f.Timer2Timer();
        EXPECT_EQ(f.TrayIcon->PictureIndex(), 5);
    }
}
