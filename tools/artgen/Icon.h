#pragma once

#include <QByteArray>
#include <QImage>

#include <vector>

namespace artgen {

// The program's icon at `size` pixels square (ARGB): a blue arrow pointing up
// and to the left beside an overlapping red arrow pointing down and to the right.
QImage AppIcon(int size);
// A Windows .ico file with 32-bit entries for the given pictures.
QByteArray IcoFile(const std::vector<QImage>& pictures);

}  // namespace artgen
