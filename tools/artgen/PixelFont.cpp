#include "tools/artgen/PixelFont.h"

#include <algorithm>
#include <stdexcept>

namespace artgen {

PixelGlyph::PixelGlyph(std::initializer_list<const char*> rows) {
    for (const char* row : rows) {
        rows_.emplace_back(row);
        width_ = std::max(width_, int(rows_.back().size()));
    }
}

char PixelGlyph::at(int x, int y) const {
    if (y < 0 || y >= height() || x < 0 || x >= int(rows_[size_t(y)].size())) {
        return '.';
    }
    return rows_[size_t(y)][size_t(x)];
}

void PixelGlyph::stamp(QImage& image, int x, int y, QRgb main, QRgb second) const {
    for (int gy = 0; gy < height(); ++gy) {
        for (int gx = 0; gx < width(); ++gx) {
            const char c = at(gx, gy);
            if (c == '#' || c == '+') {
                image.setPixel(x + gx, y + gy, c == '#' ? main : second);
            }
        }
    }
}

void PixelGlyph::stamp(Mask& mask, int x, int y) const {
    for (int gy = 0; gy < height(); ++gy) {
        for (int gx = 0; gx < width(); ++gx) {
            const char c = at(gx, gy);
            if (c == '#' || c == '+') {
                mask.set(x + gx, y + gy);
            }
        }
    }
}

namespace {

const std::vector<PixelGlyph>& BoldDigits() {
    static const std::vector<PixelGlyph> digits = {
        {".####.", "######", "##..##", "##..##", "##..##", "##..##", "##..##", "##..##", "######",
         ".####."},
        {"..##..", ".###..", "####..", "..##..", "..##..", "..##..", "..##..", "..##..", "######",
         "######"},
        {".####.", "######", "##..##", "....##", "...###", "..###.", ".###..", "###...", "######",
         "######"},
        {".####.", "######", "##..##", "....##", "..###.", "..###.", "....##", "##..##", "######",
         ".####."},
        {"...###", "..####", ".##.##", "##..##", "##..##", "######", "######", "....##", "....##",
         "....##"},
        {"######", "######", "##....", "#####.", "######", "....##", "....##", "##..##", "######",
         ".####."},
        {".####.", "######", "##....", "#####.", "######", "##..##", "##..##", "##..##", "######",
         ".####."},
        {"######", "######", "....##", "...##.", "...##.", "..##..", "..##..", ".##...", ".##...",
         ".##..."},
        {".####.", "######", "##..##", "##..##", ".####.", "######", "##..##", "##..##", "######",
         ".####."},
        {".####.", "######", "##..##", "##..##", "######", ".#####", "....##", "##..##", "######",
         ".####."},
    };
    return digits;
}

const PixelGlyph& Pick(const std::vector<PixelGlyph>& set, int index) {
    if (index < 0 || index >= int(set.size())) {
        throw std::out_of_range("no such pixel glyph");
    }
    return set[size_t(index)];
}

}  // namespace

const PixelGlyph& BoldDigit(int digit) {
    return Pick(BoldDigits(), digit);
}

const PixelGlyph& SmallDigit(int digit) {
    static const std::vector<PixelGlyph> digits = {
        {".##.", "#..#", "#..#", "#..#", "#..#", ".##."},
        {".#..", "##..", ".#..", ".#..", ".#..", "###."},
    };
    return Pick(digits, digit);
}

const PixelGlyph& MediumDigit(int digit) {
    static const std::vector<PixelGlyph> digits = {
        {".###.", "##.##", "##.##", "##.##", "##.##", ".###."},
        {".##..", "###..", ".##..", ".##..", ".##..", "####."},
    };
    return Pick(digits, digit);
}

const PixelGlyph& QuestionSymbol() {
    static const PixelGlyph g = {".####.", "##..##", "....##", "...##.", "..##..",
                                 "..##..", "......", "..##..", "..##.."};
    return g;
}

const PixelGlyph& CurvedArrowSymbol() {
    static const PixelGlyph g = {"..####....", ".######...", "##....##..", "##....##..",
                                 "##..######", "##...####.", "##....##..", ".........."};
    return g;
}

const PixelGlyph& CrossSymbol() {
    static const PixelGlyph g = {"##....##", "###..###", ".######.", "..####..",
                                 "..####..", ".######.", "###..###", "##....##"};
    return g;
}

const PixelGlyph& TriangleUpSymbol() {
    static const PixelGlyph g = {"....##....", "...####...", "..######..", ".########.",
                                 "##########"};
    return g;
}

const PixelGlyph& TriangleDownSymbol() {
    static const PixelGlyph g = {"##########", ".########.", "..######..", "...####...",
                                 "....##...."};
    return g;
}

}  // namespace artgen
