#include "tools/artgen/TrayArt.h"

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

}  // namespace

std::vector<QImage> TrayPictureImages() {
    std::vector<QImage> list = {ArrowPicture(true), ArrowPicture(false)};
    for (int pin = 2; pin <= 9; ++pin) {
        list.push_back(DiscPicture(0xffe21c, 0x6a5000, pin));  // level 0
        list.push_back(DiscPicture(0xf42a1c, 0x5a0000, pin));  // level 1
    }
    return list;
}

}  // namespace artgen
