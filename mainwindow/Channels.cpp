// The eight data-pin output channels: flips, timed pulses, directions, delay
// edits and the mirror of the data register. Every write is a read-modify-write
// of the whole data register of the port selected at that moment.
#include <QTimer>

#include "framework/Conversions.h"
#include "framework/MainThreadDispatcher.h"
#include "framework/Tag.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/ListImage.h"
#include "widgets/NotifyIcon.h"
#include "widgets/TransparentCheckBox.h"

namespace {

// Faces in ButtonGlyphs.
constexpr int FaceUpNormal = 10, FaceUpPressed = 11, FaceUpHot = 12;
constexpr int FaceDownNormal = 13, FaceDownPressed = 14, FaceDownHot = 15;
// Toggle faces by level: normal, disabled, pressed, hot.
constexpr int HighFaces[4] = {0, 16, 1, 2};
constexpr int LowFaces[4] = {3, 17, 4, 5};
// Lamps in PinPictures.
constexpr int LampHigh = 9, LampLow = 10;

}  // namespace

int TForm1::PinOfButton(const QObject* sender) {
    return TagOf(sender) / 10;
}

std::uint8_t TForm1::MaskOfPin(int pin) {
    // Pins outside 2 … 9 have no bit: nothing matches and nothing is shifted out of range.
    return pin >= FirstDataPin && pin <= LastDataPin ? std::uint8_t(1u << (pin - 2)) : 0;
}

void TForm1::SetPinLevel(int pin, bool level) {
    const std::uint8_t mask = MaskOfPin(pin);
    const std::uint8_t port = SelectedPortCode();
    const std::uint8_t value = LptPort->ReadRegister(port, RegData);
    LptPort->WriteRegister(port, RegData, level ? value | mask : value & ~mask);
}

void TForm1::FlipPin(int pin) {
    const std::uint8_t port = SelectedPortCode();
    const std::uint8_t value = LptPort->ReadRegister(port, RegData);
    LptPort->WriteRegister(port, RegData, value ^ MaskOfPin(pin));
}

void TForm1::btnPoint2Click(QObject* sender) {
    const int p = PinOfButton(sender);
    if (p < FirstDataPin || p > LastDataPin) {
        return;
    }
    // An empty text or a lone minus sign counts as no delay.
    const QString text = PinSpins[p]->Text().trimmed();
    const double seconds = (text.isEmpty() || text == QLatin1String("-")) ? 0.0 : StrToFloat(text);
    const auto delayMs = static_cast<std::int32_t>(Round(seconds * 1000));
    if (delayMs == 0) {
        FlipPin(p);
        return;
    }
    if (PinThreads[p] != nullptr) {
        PinThreads[p]->RequestStop();  // its end handler writes the end level
        return;
    }
    auto* thread = new TPainterThread(delayMs, Dispatcher_);  // deletes itself when finished
    PinThreads[p] = thread;
    thread->FreeWhenFinished = true;
    thread->OnFinished = [this](TPainterThread* t) { PinStop(t); };
    thread->SetMask(MaskOfPin(p));
    thread->SetPin(p);
    thread->SetDirection(PinDirections[p]);
    // The second write always makes an edge, even when the pin already stood at that level.
    SetPinLevel(p, !PinDirections[p]);
    SetPinLevel(p, PinDirections[p]);
    // Started once the edge is on the port, so the delay counts from the edge: counted
    // from before the writes, the pulse came out short by their round trips to the port.
    thread->Start();
}

void TForm1::PinStop(TPainterThread* sender) {
    MarkPulse(sender, TPulsePoint::HandlerRuns);
    const std::uint8_t port = SelectedPortCode();
    const std::uint8_t value = LptPort->ReadRegister(port, RegData);
    const std::uint8_t mask = static_cast<std::uint8_t>(sender->Mask);
    LptPort->WriteRegister(port, RegData, sender->Direction ? value & ~mask : value | mask);
    MarkPulse(sender, TPulsePoint::EndWritten);
    if (sender->Pin >= FirstDataPin && sender->Pin <= LastDataPin &&
        PinThreads[sender->Pin] == sender) {
        PinThreads[sender->Pin] = nullptr;
    }
}

void TForm1::btnDir2Click(QObject* sender) {
    const int p = PinOfButton(sender);
    if (p < FirstDataPin || p > LastDataPin) {
        return;
    }
    PinDirections[p] = !PinDirections[p];
    auto* button = btnDir[p];
    const bool up = PinDirections[p];
    button->SetStateGlyph(GlyphButton::StateUp, up ? FaceUpNormal : FaceDownNormal);
    button->SetStateGlyph(GlyphButton::StatePressed, up ? FaceUpPressed : FaceDownPressed);
    button->SetStateGlyph(GlyphButton::StateHot, up ? FaceUpHot : FaceDownHot);
}

void TForm1::Spin2Change(QObject* sender) {
    const int p = TagOf(sender);
    if (p < FirstDataPin || p > LastDataPin) {
        return;
    }
    auto* edit = spin[p];
    edit->SetValue(StrToFloat(edit->Text()));  // a text that is no number is reported
    if (FrmSetup->chkPreDirect->Checked()) {
        // The pin goes to the level from which its next pulse starts.
        SetPinLevel(p, !PinDirections[p]);
    }
}

void TForm1::Spin2KeyPress(QObject* sender, QChar& key) {
    const int p = TagOf(sender);
    if (p < FirstDataPin || p > LastDataPin) {
        return;
    }
    auto* edit = spin[p];
    // The guard is about a text above the maximum. A text that is no number yet
    // (an emptied edit, a lone sign or separator) must still take keys: raising
    // here would drop every key and leave the edit impossible to type into. The
    // change handler reports such a text.
    double value = 0;
    if (TryStrToFloat(edit->Text(), value) && value > edit->Maximum()) {
        key = QChar(0);
        edit->SetText(FloatToStr(edit->Maximum()));
    }
}

bool TForm1::ReadDataBit(int bit) {
    const std::uint8_t mask = std::uint8_t(1u << bit);
    return (LptPort->ReadRegister(SelectedPortCode(), RegData) & mask) == mask;
}

void TForm1::Timer2Timer() {
    for (int k = 0; k < 8; ++k) {
        PinSet->SetPin(k, ReadDataBit(k));
    }
    TrayPicture();
}

void TForm1::aPinChange(TPntLPT* /*sender*/, std::int32_t index) {
    BtnRedraw(PinButtons[index + 2]);
}

void TForm1::BtnRedraw(GlyphButton* button) {
    const int p = PinOfButton(button);
    if (button == nullptr || p < FirstDataPin || p > LastDataPin) {
        return;
    }
    const bool level = PinSet->GetPin(p - 2);
    if (ListImage* lamp = imgPin[p]) {
        lamp->SetPictureIndex(level ? LampHigh : LampLow);
    }
    const int* faces = level ? HighFaces : LowFaces;
    button->SetStateGlyph(GlyphButton::StateUp, faces[0]);
    button->SetStateGlyph(GlyphButton::StateDisabled, faces[1]);
    button->SetStateGlyph(GlyphButton::StatePressed, faces[2]);
    button->SetStateGlyph(GlyphButton::StateHot, faces[3]);
}
