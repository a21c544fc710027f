#pragma once

#include <QImage>

#include <vector>

namespace artgen {

// Key colours of the glyph bitmaps (each bitmap's bottom-left pixel).
inline constexpr QRgb kKeyBlue = 0xff0000ff;
inline constexpr QRgb kKeyRed = 0xffff0000;
inline constexpr QRgb kKeyLime = 0xff00ff00;

// The 18 glyphs of the channel buttons: red tiles 0-2, yellow tiles 3-5, tray
// quarter discs 6-9, direction quarter discs 10-15, flat tiles 16 and 17.
std::vector<QImage> ButtonGlyphImages();
// The 22 pictures of the title buttons (0-8), connector lamps (9-15) and setup
// button (16-21).
std::vector<QImage> PinPictureImages();
// One glossy title ball of 16 x 16 with its red symbol; used by the sheet too.
QImage TitleBall(int index);

}  // namespace artgen
