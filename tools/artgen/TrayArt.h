#pragma once

#include <QImage>

#include <vector>

namespace artgen {

// The 18 notification-area pictures, 16 x 16 with a one-bit alpha mask: 0 and 1
// "1" over "0" with an arrow up or down; for pin p, 2p-2 a yellow and 2p-1 a
// red disc with the digit p.
std::vector<QImage> TrayPictureImages();

// The larger sizes a tray host asks for on dense screens and on panels of
// StatusNotifierItem hosts (22, 24, 32, 48 pixels).
const std::vector<int>& LargeTraySizes();
// The same 18 pictures drawn at one of those sizes: the discs shaded at that
// size, the marks of the 16-pixel design traced smoothly, edges antialiased.
std::vector<QImage> TrayPictureImages(int size);

}  // namespace artgen
