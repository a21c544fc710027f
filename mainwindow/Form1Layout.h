// What the main window is built from: every control with its kind, place, tag,
// caption, hint and design glyphs, in one table.
#pragma once

#include <QString>
#include <vector>

namespace form1 {

enum class Kind { GlyphButton, GradientPanel, FloatSpinEdit, ListImage };

// Design glyph indices per button state (-1: none).
struct Glyphs {
    int normal = -1, pressed = -1, hot = -1, disabled = -1, latched = -1;
};

struct Control {
    QString name;
    Kind kind;
    QString parent;  // empty: the window itself
    int left, top, width, height;
    int tag;
    QString caption;
    QString hint;
    Glyphs glyphs;
    int picture = -1;  // pin images: start picture of PinPictures
    int group = 0;     // latching group of glyph buttons
    int pin = 0;       // channel or connector pin the control belongs to
};

inline constexpr int ClientWidth = 495;
inline constexpr int ClientHeight = 135;
inline constexpr int TrayGroup = 20;

// Channel k (pin k + 2) starts at this x: the left edge of its arch in the skin.
inline constexpr int ChannelLeft(int pin) {
    return 10 + 60 * (pin - 2);
}

const std::vector<Control>& Controls();

}  // namespace form1
