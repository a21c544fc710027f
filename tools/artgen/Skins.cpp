#include "tools/artgen/Skins.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "tools/artgen/Glyphs.h"
#include "tools/artgen/Raster.h"

namespace artgen {

namespace {

constexpr unsigned kNavy = 0x2e3192;
constexpr unsigned kWhite = 0xffffff;

Rgb NavyLight() {
    return Mix(Hex(kNavy), Hex(0xffffff), 0.42);
}
Rgb NavyDark() {
    return Scale(Hex(kNavy), 0.42);
}

void Fill(QImage& image, const Mask& where, unsigned rgb) {
    const QRgb c = ToQRgb(Hex(rgb));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (where.at(x, y)) {
                image.setPixel(x, y, c);
            }
        }
    }
}

Mask Intersect(const Mask& a, const Mask& b) {
    Mask m = a;
    m.subtract(b.inverted());
    return m;
}

// Left and right edge of the connector's trapezoid in row y (95 ... 134).
int ConnectorLeft(int y) {
    return 154 + int(std::lround(25.0 * (y - 95) / 39.0));
}
int ConnectorRight(int y) {
    return 340 - int(std::lround(24.0 * (y - 95) / 39.0));
}

Mask ConnectorShell() {
    Mask m(495, 135);
    for (int y = 95; y <= 134; ++y) {
        m.addRect(ConnectorLeft(y), y, ConnectorRight(y) - ConnectorLeft(y) + 1, 1);
    }
    return m;
}

Mask NavyPart() {
    Mask m(495, 135);
    m.addRoundedRect(0, 35, 495, 60, 0, 0, 8, 8);  // body
    m.addRoundedRect(0, 28, 93, 14, 7, 4, 0, 0);   // shoulder over the left end
    m.addRoundedRect(414, 0, 81, 42, 9, 9, 0, 0);  // title tab
    return m;
}

Mask BodyHoles() {
    Mask m(495, 135);
    for (int i = 0; i < 3; ++i) {
        m.addEllipse(423 + 24 * i + 8.0, 13.0, 8.0, 8.0);
    }
    for (int k = 0; k < 8; ++k) {
        // Half dome behind the tray, toggle and direction button of a channel:
        // its round ends follow the buttons' quarter discs, two pixels higher.
        const int x = 10 + 60 * k;
        Mask arch(495, 135);
        arch.addEllipse(x + 17.0, 64.0, 17.0, 22.0);
        arch.addEllipse(x + 39.0, 64.0, 17.0, 22.0);
        arch.addRect(x + 17, 42, 22, 22);
        Mask box(495, 135);
        box.addRect(x, 42, 56, 22);
        m.unite(Intersect(arch, box));
        m.addRect(12 + 60 * k, 70, 51, 15);
    }
    return m;
}

Mask ConnectorHoles() {
    Mask m(495, 135);
    for (int i = 0; i < 13; ++i) {
        m.addRect(177 + 11 * i, 102, 8, 8);
    }
    for (int i = 0; i < 12; ++i) {
        m.addRect(183 + 11 * i, 115, 8, 8);
    }
    return m;
}

// The D-shaped insert of the connector that carries the holes, drawn with
// anti-aliasing; it lies well inside the shell, away from the key colour.
void PaintConnectorInsert(QImage& image, const Mask& shell) {
    QImage layer = image.copy();
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath d;
        d.moveTo(173.5, 98.5);
        d.lineTo(320.5, 98.5);
        d.quadTo(324.0, 98.5, 323.0, 102.0);
        d.lineTo(317.5, 124.0);
        d.quadTo(316.5, 126.5, 313.5, 126.5);
        d.lineTo(180.5, 126.5);
        d.quadTo(177.5, 126.5, 176.5, 124.0);
        d.lineTo(171.0, 102.0);
        d.quadTo(170.0, 98.5, 173.5, 98.5);
        QLinearGradient g(0, 98, 0, 127);
        g.setColorAt(0.0, QColor(0x8a, 0x8c, 0x96));
        g.setColorAt(1.0, QColor(0xa8, 0xaa, 0xb4));
        p.setBrush(g);
        p.setPen(QPen(QColor(0x50, 0x52, 0x5c), 1.0));
        p.drawPath(d);
        p.setPen(QPen(QColor(0xf0, 0xf0, 0xf4), 1.0));
        p.drawLine(QPointF(177.5, 127.5), QPointF(313.5, 127.5));
    }
    Mask inner = shell;
    inner.subtract(shell.inverted().dilated(2));
    CopyMasked(image, layer, inner);
}

}  // namespace

QImage MainSkin() {
    const Mask navy = NavyPart();
    const Mask shell = ConnectorShell();
    Mask shape = navy;
    shape.unite(shell);

    QImage image = NewImage(495, 135, ToQRgb(Hex(kNavy)));
    Fill(image, shell, 0xc8c9d0);
    ApplyBevel(image, navy, navy.inverted(), 2, NavyLight(), NavyDark());
    ApplyBevel(image, shell, shell.inverted(), 2, Hex(0xffffff), Hex(0x6c6e78));
    PaintConnectorInsert(image, shell);

    // White places of the controls, each in a one-pixel sunken rim.
    const Mask holes = BodyHoles();
    Mask around = navy;
    around.subtract(holes);
    ApplyBevel(image, around, holes, 1, Mix(Hex(kNavy), Hex(0xffffff), 0.3), Hex(0x101238));
    Fill(image, holes, kWhite);

    const Mask sockets = ConnectorHoles();
    Mask insert = shell;
    insert.subtract(sockets);
    ApplyBevel(image, insert, sockets, 1, Hex(0xe8e8ee), Hex(0x30323a));
    Fill(image, sockets, kWhite);

    ApplyKey(image, shape, kKeyLime);
    return image;
}

QImage SetupShape() {
    Mask shape(330, 270);
    shape.addRoundedRect(0, 17, 330, 253, 9, 9, 9, 9);
    shape.addRoundedRect(278, 0, 32, 24, 14, 14, 0, 0);
    Mask inner(330, 270);
    inner.addRoundedRect(5, 22, 320, 243, 5, 5, 5, 5);
    Mask disc(330, 270);
    disc.addEllipse(294.0, 13.0, 8.0, 8.0);

    QImage image = NewImage(330, 270, ToQRgb(Hex(kNavy)));
    {
        QImage layer = image.copy();
        QPainter p(&layer);
        QLinearGradient g(0, 22, 0, 265);
        g.setColorAt(0.0, QColor(0xea, 0xeb, 0xf9));
        g.setColorAt(1.0, QColor(0x69, 0x6d, 0xd6));
        p.fillRect(QRect(0, 22, 330, 243), g);
        p.end();
        CopyMasked(image, layer, inner);
    }
    Mask frame = shape;
    frame.subtract(inner);
    ApplyBevel(image, shape, shape.inverted(), 2, NavyLight(), NavyDark());
    Mask openings = inner;
    openings.unite(disc);
    Mask rim = frame;
    rim.subtract(disc);
    ApplyBevel(image, rim, openings, 1, Mix(Hex(kNavy), Hex(0xffffff), 0.3), Hex(0x101238));
    Fill(image, disc, kWhite);
    ApplyKey(image, shape, kKeyLime);
    return image;
}

}  // namespace artgen
