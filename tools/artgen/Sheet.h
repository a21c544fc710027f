#pragma once

#include <QImage>

namespace artgen {

// An enlarged overview of every glyph list, lamp and tray picture, the icon, and
// a mock-up of both windows with the glyphs in place. Labels use DejaVu Sans.
QImage ArtSheet();

}  // namespace artgen
