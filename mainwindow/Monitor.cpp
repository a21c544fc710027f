// The lamps of the control pins 1, 14, 16, 17 and the status pins 10 … 13, 15.
#include "mainwindow/Unit1.h"
#include "widgets/ListImage.h"

namespace {

struct MonitoredPin {
    int pin;
    std::uint8_t reg;
    std::uint8_t mask;
    bool highWhenSet;  // false: the line shows the inverse of its register bit
    int pictureHigh, pictureLow;
};

// In the order each tick handles them: four control reads, then five status reads.
constexpr MonitoredPin Monitored[] = {
    {1, RegControl, BitStrobe, false, 11, 12},  {14, RegControl, BitAutoFeed, false, 11, 12},
    {16, RegControl, BitInit, true, 11, 12},    {17, RegControl, BitSelectIn, false, 11, 12},
    {15, RegStatus, BitError, true, 13, 14},    {13, RegStatus, BitSelect, true, 13, 14},
    {12, RegStatus, BitPaperEnd, true, 13, 14}, {10, RegStatus, BitAck, true, 13, 14},
    {11, RegStatus, BitBusy, false, 13, 14},
};

const MonitoredPin* Find(int pin) {
    for (const auto& m : Monitored) {
        if (m.pin == pin) {
            return &m;
        }
    }
    return nullptr;
}

}  // namespace

bool TForm1::ReadPinLevel(int pin) {
    const MonitoredPin* m = Find(pin);
    if (m == nullptr) {
        return false;
    }
    const bool set = (LptPort->ReadRegister(SelectedPortCode(), m->reg) & m->mask) == m->mask;
    return set == m->highWhenSet;
}

void TForm1::Timer1Timer() {
    for (const auto& m : Monitored) {
        const bool level = ReadPinLevel(m.pin);
        PinImages[m.pin]->SetPictureIndex(level ? m.pictureHigh : m.pictureLow);
    }
}
