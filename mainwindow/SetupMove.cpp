// Slides the setup panel out from behind the main window and back, one pixel per step.
#include <algorithm>

#include "framework/Conversions.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/BitmapButton.h"
#include "widgets/DisplayServer.h"
#include "widgets/GlyphList.h"
#include "widgets/NativeWindow.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/WindowSkin.h"

namespace {

constexpr int SetupClosedHeight = 80;
constexpr int SetupOpenHeight = 303;
constexpr int SetupRise = 245;
constexpr int SetupOpenLimit = 50;
constexpr int GrowLine = 60;
constexpr int ShrinkMargin = 45;
constexpr int HeightStep = 50;

// However the slide ends (also by a conversion error), the panel paints normally
// again and the main window can be dragged.
struct SlideEnd {
    WindowSkin* skin;
    TFrmSetup& setup;
    ~SlideEnd() {
        setup.SetOpaquePaint(false);
        skin->SetMoveable(true);
    }
};

void SetSetupGlyphs(const GlyphList& pictures, TFrmSetup& s, int up, int down, int hot) {
    QImage upImage, downImage, hotImage;
    pictures.CopyBitmap(up, upImage);
    pictures.CopyBitmap(down, downImage);
    pictures.CopyBitmap(hot, hotImage);
    s.btnSetup->SetBitmaps(upImage, upImage, downImage, hotImage);
}

}  // namespace

// On Wayland itself a program can't place its windows: the panel, a window of its
// own wherever the compositor put it, opens and closes where it stands.
void TForm1::SetupMoveInPlace() {
    TFrmSetup& s = *FrmSetup;
    if (s.height() <= SetupClosedHeight) {
        s.resize(s.width(), SetupOpenHeight);
        s.RepaintOptions(true);
        SetSetupGlyphs(*PinPictures, s, 19, 20, 21);
    } else {
        s.resize(s.width(), SetupClosedHeight);
        SetSetupGlyphs(*PinPictures, s, 16, 17, 18);
    }
}

void TForm1::SetupMove() {
    if (OnWaylandOnly()) {
        SetupMoveInPlace();
        return;
    }
    TFrmSetup& s = *FrmSetup;
    MainSkin->SetMoveable(false);
    SlideEnd restore{MainSkin, s};

    // The texts are converted anew at each use. The setup button takes no focus,
    // so a typed boundary may not have been brought into its range: whatever the
    // text, the closed panel keeps the button above the main window's body.
    auto speed = [&s] { return StrToInt(s.SpinWin->Text()); };
    auto boundary = [&s] {
        return std::clamp(StrToInt(s.SpinTop->Text()), static_cast<int>(s.SpinTop->Minimum()),
                          static_cast<int>(s.SpinTop->Maximum()));
    };
    auto setGlyphs = [&s, this](int up, int down, int hot) {
        SetSetupGlyphs(*PinPictures, s, up, down, hot);
    };

    // Where both windows really are: Qt's idea can be wrong right after the window
    // manager took them in. The main window cannot move while the panel slides.
    const QPoint panel = WindowSystemPosition(&s);
    const int mainTop = WindowSystemPosition(this).y();

    if (mainTop - panel.y() <= SetupOpenLimit) {
        // Opening.
        if (speed() == 0) {
            s.move(panel.x(), mainTop - boundary() - SetupRise);
        } else {
            // The steps follow the geometry they set: a window manager's late notices of
            // earlier steps must not make a growth go missing or happen twice.
            const int target = mainTop - boundary() - SetupRise;
            int panelHeight = s.height();
            for (int top = panel.y(); top >= target; --top) {
                s.move(panel.x(), top);
                if (top + panelHeight == mainTop + GrowLine) {
                    panelHeight += HeightStep;
                    s.resize(s.width(), panelHeight);
                    s.RepaintOptions(false);
                }
                Delay(0, speed());
            }
        }
        s.resize(s.width(), SetupOpenHeight);
        s.RepaintOptions(true);
        setGlyphs(19, 20, 21);
    } else {
        // Closing.
        if (speed() == 0) {
            s.resize(s.width(), SetupClosedHeight);
            s.move(panel.x(), mainTop - boundary());
        } else {
            s.SetOpaquePaint(true);
            const int target = mainTop - boundary();
            int panelHeight = s.height();
            for (int top = panel.y(); top <= target; ++top) {
                s.move(panel.x(), top);
                if (top + panelHeight == mainTop + height() - ShrinkMargin) {
                    panelHeight -= HeightStep;
                    s.resize(s.width(), panelHeight);
                }
                Delay(0, speed());
            }
        }
        s.SetOpaquePaint(false);
        s.resize(s.width(), SetupClosedHeight);
        setGlyphs(16, 17, 18);
    }
}
