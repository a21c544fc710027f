#pragma once

#include <QImage>

namespace artgen {

// The 495 x 135 skin of the main window (lime key): title tab, navy body with
// arches and slots, and the connector with its 25 holes.
QImage MainSkin();
// The 330 x 270 shape picture of the setup window (lime key).
QImage SetupShape();

}  // namespace artgen
