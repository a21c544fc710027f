#pragma once

#include <QImage>

#include <initializer_list>
#include <string>
#include <vector>

#include "tools/artgen/Raster.h"

// Hand-set pixel glyphs for the digits and symbols of the small pictures. At 6
// to 10 pixels a hand-set glyph is crisper than any hinted outline font, and it
// keeps the output independent of the installed font version.
namespace artgen {

// Rows of '#' (main colour), '+' (second colour) and '.' (untouched).
class PixelGlyph {
public:
    PixelGlyph(std::initializer_list<const char*> rows);
    int width() const { return width_; }
    int height() const { return int(rows_.size()); }
    char at(int x, int y) const;
    void stamp(QImage& image, int x, int y, QRgb main) const { stamp(image, x, y, main, main); }
    void stamp(QImage& image, int x, int y, QRgb main, QRgb second) const;
    // Marks the '#' and '+' pixels.
    void stamp(Mask& mask, int x, int y) const;

private:
    std::vector<std::string> rows_;
    int width_ = 0;
};

// 6 x 10 bold digits 0 to 9 for the tray pictures.
const PixelGlyph& BoldDigit(int digit);
// 4 x 6 digits 0 and 1 for the direction buttons.
const PixelGlyph& SmallDigit(int digit);
// 5 x 6 digits 0 and 1 for the tray arrow pictures.
const PixelGlyph& MediumDigit(int digit);

// Symbols on the 16 x 16 title balls.
const PixelGlyph& QuestionSymbol();
const PixelGlyph& CurvedArrowSymbol();
const PixelGlyph& CrossSymbol();
const PixelGlyph& TriangleUpSymbol();
const PixelGlyph& TriangleDownSymbol();

}  // namespace artgen
