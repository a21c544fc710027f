#include "tools/artgen/Glyphs.h"

#include <QPainter>
#include <QRadialGradient>

#include "tools/artgen/PixelFont.h"
#include "tools/artgen/Raster.h"

namespace artgen {

namespace {

enum class Face { Raised, Sunken, Flat };

// 22 x 22 tile; the three pixels of each corner are cut away.
QImage Tile(unsigned base, unsigned light, unsigned dark, Face face, bool glow) {
    Mask shape(22, 22);
    shape.addRoundedRect(0, 0, 22, 22, 3.5, 3.5, 3.5, 3.5);
    QImage image = NewImage(22, 22, ToQRgb(Hex(base)));
    if (glow) {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QRadialGradient g(11.0, 11.0, 8.5);
        g.setColorAt(0.0, QColor(255, 255, 255, 235));
        g.setColorAt(0.45, QColor(255, 255, 255, 140));
        g.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.fillRect(QRectF(0, 0, 22, 22), g);
    }
    const Mask outside = shape.inverted();
    switch (face) {
        case Face::Raised:
            ApplyBevel(image, shape, outside, 2, Hex(light), Hex(dark));
            break;
        case Face::Sunken:
            ApplyBevel(image, shape, outside, 2, Hex(dark), Hex(light));
            break;
        case Face::Flat:
            ApplyBevel(image, shape, outside, 1, Scale(Hex(base), 0.78), Scale(Hex(base), 0.78),
                       0.6);
            break;
    }
    ApplyKey(image, shape, kKeyBlue);
    return image;
}

// Quarter disc of 17 x 20 whose centre is the bottom-right (tray) or bottom-left
// (direction) corner. The bottom-left pixel always stays key colour.
Mask QuarterDisc(bool centreRight) {
    Mask shape(17, 20);
    shape.addEllipse(centreRight ? 17.0 : 0.0, 20.0, 17.0, 20.0);
    shape.set(0, 19, false);
    return shape;
}

// A soft top-to-bottom shading of the disc's base colour.
QImage ShadedFill(int w, int h, Rgb base, double top, double bottom) {
    QImage image = NewImage(w, h, ToQRgb(base));
    for (int y = 0; y < h; ++y) {
        const double t = double(y) / double(h - 1);
        const QRgb c = ToQRgb(Scale(base, top + (bottom - top) * t));
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, c);
        }
    }
    return image;
}

QImage TrayFace(unsigned base, Face face, bool darkEdge) {
    const Mask shape = QuarterDisc(true);
    QImage image = ShadedFill(17, 20, Hex(base), 1.06, 0.9);
    const Mask outside = shape.inverted();
    const Rgb light = Mix(Hex(base), Hex(0xffffff), 0.75);
    const Rgb dark = Scale(Hex(base), 0.45);
    if (face == Face::Sunken) {
        ApplyBevel(image, shape, outside, 2, dark, light);
    } else {
        ApplyBevel(image, shape, outside, 2, light, dark);
    }
    if (darkEdge) {
        // A one-pixel dark outline along the round edge.
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 17; ++x) {
                if (shape.at(x, y) && (!shape.at(x - 1, y) || !shape.at(x, y - 1))) {
                    image.setPixel(x, y, qRgb(0x1e, 0x5a, 0x1e));
                }
            }
        }
    }
    ApplyKey(image, shape, kKeyBlue);
    return image;
}

const PixelGlyph& ArrowUp() {
    static const PixelGlyph g = {"..#..", ".###.", "#####", "..#..", "..#..", "..#..",
                                 "..#..", "..#..", "..#..", "..#..", "..#.."};
    return g;
}

const PixelGlyph& ArrowDown() {
    static const PixelGlyph g = {"..#..", "..#..", "..#..", "..#..", "..#..", "..#..",
                                 "..#..", "..#..", "#####", ".###.", "..#.."};
    return g;
}

QImage DirectionFace(unsigned base, Face face, bool arrowUp) {
    const Mask shape = QuarterDisc(false);
    QImage image = ShadedFill(17, 20, Hex(base), 1.06, 0.9);
    const Mask outside = shape.inverted();
    const Rgb light = Mix(Hex(base), Hex(0xffffff), 0.8);
    const Rgb dark = Scale(Hex(base), 0.45);
    if (face == Face::Sunken) {
        ApplyBevel(image, shape, outside, 2, dark, light);
    } else {
        ApplyBevel(image, shape, outside, 2, light, dark);
    }
    const int shift = face == Face::Sunken ? 1 : 0;
    SmallDigit(1).stamp(image, 2 + shift, 5 + shift, qRgb(0, 0, 0));
    SmallDigit(0).stamp(image, 2 + shift, 12 + shift, qRgb(0, 0, 0));
    const QRgb blue = qRgb(0x00, 0x28, 0xe8);
    (arrowUp ? ArrowUp() : ArrowDown()).stamp(image, 7 + shift, 6 + shift, blue);
    ApplyKey(image, shape, kKeyRed);
    return image;
}

constexpr unsigned kBallBlue = 0x2458e0;

QImage Ball16(double brightness, double gloss, const PixelGlyph& symbol, int sx, int sy,
              QRgb symbolColour) {
    Mask shape(16, 16);
    shape.addEllipse(8.0, 8.0, 8.0, 8.0);
    QImage image = NewImage(16, 16, ToQRgb(Hex(kBallBlue)));
    BallLook look;
    look.base = Hex(kBallBlue);
    look.brightness = brightness;
    look.gloss = gloss;
    look.specular = 0.35;
    look.rim = Hex(0x06103a);
    look.rimAmount = 0.55;
    PaintBall(image, shape, 8.0, 8.0, 8.0, look);
    // A dark drop shadow one pixel down and right makes the symbol stand off the glass.
    symbol.stamp(image, sx + 1, sy + 1, qRgb(0x10, 0x14, 0x48));
    symbol.stamp(image, sx, sy, symbolColour);
    ApplyKey(image, shape, kKeyLime);
    return image;
}

QImage Lamp(unsigned base, double specular) {
    Mask shape(8, 8);
    shape.addEllipse(4.0, 4.0, 4.0, 4.0);
    QImage image = NewImage(8, 8, ToQRgb(Hex(base)));
    BallLook look;
    look.base = Hex(base);
    look.specular = specular;
    look.rim = Hex(0x000000);
    look.rimAmount = 0.45;
    PaintBall(image, shape, 4.0, 4.0, 4.0, look);
    ApplyKey(image, shape, kKeyBlue);
    return image;
}

}  // namespace

std::vector<QImage> ButtonGlyphImages() {
    constexpr unsigned red = 0xff0000;
    constexpr unsigned yellow = 0xffff00;
    constexpr unsigned grey = 0xc4c4c8;
    constexpr unsigned lavender = 0xcdc4fa;
    return {
        Tile(red, 0xffa8a8, 0x780000, Face::Raised, false),
        Tile(red, 0xffa8a8, 0x780000, Face::Sunken, false),
        Tile(red, 0xffa8a8, 0x780000, Face::Raised, true),
        Tile(yellow, 0xffffc8, 0x7a7400, Face::Raised, false),
        Tile(yellow, 0xffffc8, 0x7a7400, Face::Sunken, false),
        Tile(yellow, 0xffffc8, 0x7a7400, Face::Raised, true),
        TrayFace(grey, Face::Raised, false),
        TrayFace(0xc0f0c0, Face::Sunken, true),
        TrayFace(0x28e028, Face::Raised, false),
        TrayFace(0x6cc46c, Face::Raised, false),
        DirectionFace(grey, Face::Raised, true),
        DirectionFace(0x9c9ca4, Face::Sunken, false),
        DirectionFace(lavender, Face::Raised, true),
        DirectionFace(grey, Face::Raised, false),
        DirectionFace(0x9c9ca4, Face::Sunken, true),
        DirectionFace(lavender, Face::Raised, false),
        Tile(0xcd0000, 0, 0, Face::Flat, false),
        Tile(0xcdcd00, 0, 0, Face::Flat, false),
    };
}

QImage TitleBall(int index) {
    // index: symbol * 3 + state, symbols help, hide, close, up, down; states
    // normal, pressed, hot.
    static const double brightness[] = {1.0, 0.72, 1.22};
    static const double gloss[] = {0.75, 0.45, 0.9};
    static const QRgb colour[] = {qRgb(0xff, 0x24, 0x18), qRgb(0xd8, 0x10, 0x08),
                                  qRgb(0xff, 0x4c, 0x3c)};
    const int symbol = index / 3;
    const int state = index % 3;
    const PixelGlyph* glyph = &QuestionSymbol();
    int sx = 5;
    int sy = 3;
    switch (symbol) {
        case 1:
            glyph = &CurvedArrowSymbol();
            sx = 3;
            sy = 4;
            break;
        case 2:
            glyph = &CrossSymbol();
            sx = 4;
            sy = 4;
            break;
        case 3:
            glyph = &TriangleUpSymbol();
            sx = 3;
            sy = 5;
            break;
        case 4:
            glyph = &TriangleDownSymbol();
            sx = 3;
            sy = 6;
            break;
        default:
            break;
    }
    return Ball16(brightness[state], gloss[state], *glyph, sx, sy, colour[state]);
}

std::vector<QImage> PinPictureImages() {
    std::vector<QImage> list;
    for (int i = 0; i < 9; ++i) {
        list.push_back(TitleBall(i));
    }
    list.push_back(Lamp(0xf41c14, 0.9));  // 9: data pin at 1
    list.push_back(Lamp(0xf4e010, 0.9));  // 10: data pin at 0
    list.push_back(Lamp(0x1ee61e, 0.9));  // 11: control pin active
    list.push_back(Lamp(0x0c640c, 0.6));  // 12: control pin inactive
    list.push_back(Lamp(0xf01cf0, 0.9));  // 13: status pin active
    list.push_back(Lamp(0x64105c, 0.6));  // 14: status pin inactive
    list.push_back(Lamp(0x8c8c90, 0.7));  // 15: ground and unconnected
    for (int i = 9; i < 15; ++i) {
        list.push_back(TitleBall(i));
    }
    return list;
}

}  // namespace artgen
