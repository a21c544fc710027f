#include "tools/artgen/TrayArt.h"

#include <algorithm>
#include <cmath>

#include "tools/artgen/PixelFont.h"
#include "tools/artgen/Raster.h"

namespace artgen {

namespace {

QImage Transparent16() {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(0);
    return image;
}

// A white one-pixel halo around the drawn pixels keeps the black marks legible
// on dark panels.
void AddHalo(QImage& image) {
    Mask drawn(16, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            drawn.set(x, y, qAlpha(image.pixel(x, y)) != 0);
        }
    }
    const Mask halo = drawn.dilated(1);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (halo.at(x, y) && !drawn.at(x, y)) {
                image.setPixel(x, y, qRgba(0xff, 0xff, 0xff, 0xff));
            }
        }
    }
}

QImage ArrowPicture(bool up) {
    static const PixelGlyph arrowUp = {"..#..", ".###.", "#####", "#####", ".###.", ".###.",
                                       ".###.", ".###.", ".###.", ".###.", ".###.", ".###."};
    static const PixelGlyph arrowDown = {".###.", ".###.", ".###.", ".###.", ".###.", ".###.",
                                         ".###.", ".###.", "#####", "#####", ".###.", "..#.."};
    QImage image = Transparent16();
    const QRgb black = qRgba(0, 0, 0, 0xff);
    MediumDigit(1).stamp(image, 2, 1, black);
    MediumDigit(0).stamp(image, 2, 9, black);
    (up ? arrowUp : arrowDown).stamp(image, 9, 2, qRgba(0x00, 0x00, 0x80, 0xff));
    AddHalo(image);
    return image;
}

QImage DiscPicture(unsigned base, unsigned edge, int digit) {
    Mask shape(16, 16);
    shape.addEllipse(8.0, 8.0, 8.0, 8.0);
    QImage rgb = NewImage(16, 16, ToQRgb(Hex(base)));
    BallLook look;
    look.base = Hex(base);
    look.brightness = 1.12;
    look.specular = 0.25;
    look.rim = Hex(edge);
    look.rimAmount = 0.8;
    PaintBall(rgb, shape, 8.0, 8.0, 8.0, look);
    BoldDigit(digit).stamp(rgb, 5, 3, qRgb(0, 0, 0));
    QImage image = Transparent16();
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (shape.at(x, y)) {
                image.setPixel(x, y, rgb.pixel(x, y) | 0xff000000u);
            }
        }
    }
    return image;
}

// The marks of the 16-pixel design at another size: the pixels' bilinear
// surface cut at half height turns the steps of the hand-set glyphs into
// straight edges; sub-samples give each pixel its share of the shape.
std::vector<double> TraceMarks(const Mask& design, int size) {
    constexpr int kSub = 4;
    const double scale = 16.0 / size;
    std::vector<double> cover(size_t(size) * size_t(size), 0.0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int inside = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const double u = (x + (sx + 0.5) / kSub) * scale - 0.5;
                    const double v = (y + (sy + 0.5) / kSub) * scale - 0.5;
                    const int x0 = int(std::floor(u));
                    const int y0 = int(std::floor(v));
                    const double fx = u - x0;
                    const double fy = v - y0;
                    const double top = design.at(x0, y0) * (1 - fx) + design.at(x0 + 1, y0) * fx;
                    const double bottom =
                        design.at(x0, y0 + 1) * (1 - fx) + design.at(x0 + 1, y0 + 1) * fx;
                    inside += top * (1 - fy) + bottom * fy >= 0.5 ? 1 : 0;
                }
            }
            cover[size_t(y) * size_t(size) + size_t(x)] = double(inside) / (kSub * kSub);
        }
    }
    return cover;
}

// Paints `colour` over the picture where `cover` says, alpha included.
void PaintOver(QImage& image, const std::vector<double>& cover, Rgb colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double c = cover[size_t(y) * size_t(image.width()) + size_t(x)];
            if (c <= 0) {
                continue;
            }
            const QRgb under = image.pixel(x, y);
            const double a0 = qAlpha(under) / 255.0;
            const double a = c + a0 * (1 - c);
            const Rgb mixed = Scale(Rgb{colour.r * c + qRed(under) * a0 * (1 - c),
                                        colour.g * c + qGreen(under) * a0 * (1 - c),
                                        colour.b * c + qBlue(under) * a0 * (1 - c)},
                                    1.0 / a);
            const QRgb rgb = ToQRgb(mixed);
            image.setPixel(x, y,
                           qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), int(std::lround(a * 255))));
        }
    }
}

Mask DesignMask(const PixelGlyph& glyph, int x, int y) {
    Mask m(16, 16);
    glyph.stamp(m, x, y);
    return m;
}

QImage LargeArrowPicture(bool up, int size) {
    static const PixelGlyph arrowUp = {"..#..", ".###.", "#####", "#####", ".###.", ".###.",
                                       ".###.", ".###.", ".###.", ".###.", ".###.", ".###."};
    static const PixelGlyph arrowDown = {".###.", ".###.", ".###.", ".###.", ".###.", ".###.",
                                         ".###.", ".###.", "#####", "#####", ".###.", "..#.."};
    Mask digits = DesignMask(MediumDigit(1), 2, 1);
    digits.unite(DesignMask(MediumDigit(0), 2, 9));
    const Mask arrow = DesignMask(up ? arrowUp : arrowDown, 9, 2);
    Mask all = digits;
    all.unite(arrow);
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(0);
    PaintOver(image, TraceMarks(all.dilated(1), size), Hex(0xffffff));
    PaintOver(image, TraceMarks(digits, size), Hex(0x000000));
    PaintOver(image, TraceMarks(arrow, size), Hex(0x000080));
    return image;
}

QImage LargeDiscPicture(unsigned base, unsigned edge, int digit, int size) {
    constexpr int kSub = 4;
    const double r = size / 2.0;
    Mask shape(size, size);
    std::vector<double> disc(size_t(size) * size_t(size), 0.0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int inside = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const double dx = x + (sx + 0.5) / kSub - r;
                    const double dy = y + (sy + 0.5) / kSub - r;
                    inside += dx * dx + dy * dy <= r * r ? 1 : 0;
                }
            }
            disc[size_t(y) * size_t(size) + size_t(x)] = double(inside) / (kSub * kSub);
            shape.set(x, y, inside > 0);
        }
    }
    QImage rgb = NewImage(size, size, ToQRgb(Hex(base)));
    BallLook look;
    look.base = Hex(base);
    look.brightness = 1.12;
    look.specular = 0.25;
    look.rim = Hex(edge);
    look.rimAmount = 0.8;
    PaintBall(rgb, shape, r, r, r, look);
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int a = int(std::lround(disc[size_t(y) * size_t(size) + size_t(x)] * 255));
            const QRgb c = rgb.pixel(x, y);
            image.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), a));
        }
    }
    PaintOver(image, TraceMarks(DesignMask(BoldDigit(digit), 5, 3), size), Hex(0x000000));
    return image;
}

}  // namespace

const std::vector<int>& LargeTraySizes() {
    static const std::vector<int> sizes = {22, 24, 32, 48};
    return sizes;
}

std::vector<QImage> TrayPictureImages(int size) {
    std::vector<QImage> list = {LargeArrowPicture(true, size), LargeArrowPicture(false, size)};
    for (int pin = 2; pin <= 9; ++pin) {
        list.push_back(LargeDiscPicture(0xffe21c, 0x6a5000, pin, size));  // level 0
        list.push_back(LargeDiscPicture(0xf42a1c, 0x5a0000, pin, size));  // level 1
    }
    return list;
}

std::vector<QImage> TrayPictureImages() {
    std::vector<QImage> list = {ArrowPicture(true), ArrowPicture(false)};
    for (int pin = 2; pin <= 9; ++pin) {
        list.push_back(DiscPicture(0xffe21c, 0x6a5000, pin));  // level 0
        list.push_back(DiscPicture(0xf42a1c, 0x5a0000, pin));  // level 1
    }
    return list;
}

}  // namespace artgen
