#pragma once

#include <QImage>

#include <vector>

namespace artgen {

// The 18 notification-area pictures, 16 x 16 with a one-bit alpha mask: 0 and 1
// "1" over "0" with an arrow up or down; for pin p, 2p-2 a yellow and 2p-1 a
// red disc with the digit p.
std::vector<QImage> TrayPictureImages();

}  // namespace artgen
