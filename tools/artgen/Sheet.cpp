#include "tools/artgen/Sheet.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

#include <vector>

#include "tools/artgen/Glyphs.h"
#include "tools/artgen/Icon.h"
#include "tools/artgen/Skins.h"
#include "tools/artgen/TrayArt.h"

namespace artgen {

namespace {

constexpr int kWidth = 1380;
constexpr int kMargin = 24;
constexpr int kScale = 6;

bool IsClear(const QImage& image, int x, int y, QRgb key) {
    const QRgb c = image.pixel(x, y);
    return image.hasAlphaChannel() ? qAlpha(c) == 0 : (c | 0xff000000u) == key;
}

void Checker(QPainter& p, QRect area, int cell) {
    p.fillRect(area, QColor(0xff, 0xff, 0xff));
    for (int y = area.top(); y <= area.bottom(); y += cell) {
        for (int x = area.left(); x <= area.right(); x += cell) {
            if (((x - area.left()) / cell + (y - area.top()) / cell) % 2 != 0) {
                p.fillRect(QRect(x, y, cell, cell).intersected(area), QColor(0xd4, 0xd4, 0xdc));
            }
        }
    }
}

// Draws `image` enlarged `scale` times with nearest-neighbour pixels, leaving
// out its transparent pixels (key colour = bottom-left pixel, or alpha 0).
void DrawPixels(QPainter& p, const QImage& image, QPoint at, int scale) {
    const QRgb key = image.pixel(0, image.height() - 1) | 0xff000000u;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!IsClear(image, x, y, key)) {
                p.fillRect(at.x() + x * scale, at.y() + y * scale, scale, scale,
                           QColor::fromRgb(image.pixel(x, y)));
            }
        }
    }
}

QFont LabelFont(int pixels, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// One titled row of enlarged pictures with their index numbers; returns the
// y below it.
int DrawList(QPainter& p, int y, const QString& title, const std::vector<QImage>& list) {
    p.setFont(LabelFont(18, true));
    p.setPen(QColor(0x20, 0x22, 0x60));
    p.drawText(kMargin, y + 18, title);
    y += 30;
    const int cell = 22 * kScale + 16;
    const int perRow = (kWidth - 2 * kMargin) / cell;
    int rowHeight = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const int col = int(i) % perRow;
        if (col == 0 && i != 0) {
            y += rowHeight;
            rowHeight = 0;
        }
        const QImage& img = list[i];
        const QRect box(kMargin + col * cell, y, img.width() * kScale, img.height() * kScale);
        Checker(p, box, kScale);
        DrawPixels(p, img, box.topLeft(), kScale);
        p.setFont(LabelFont(13));
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawText(box.left(), box.bottom() + 17,
                   QStringLiteral("%1  %2\u00d7%3").arg(i).arg(img.width()).arg(img.height()));
        rowHeight = std::max(rowHeight, box.height() + 28);
    }
    return y + rowHeight + 12;
}

void Blit(QImage& target, const QImage& glyph, int left, int top) {
    const QRgb key = glyph.pixel(0, glyph.height() - 1) | 0xff000000u;
    for (int y = 0; y < glyph.height(); ++y) {
        for (int x = 0; x < glyph.width(); ++x) {
            if (!IsClear(glyph, x, y, key)) {
                target.setPixel(left + x, top + y, glyph.pixel(x, y) | 0xff000000u);
            }
        }
    }
}

// The main window as the controls will show it at start-up, with a few
// channels in other states.
QImage MainMockup() {
    QImage skin = MainSkin();
    QImage image = skin.copy();
    const std::vector<QImage> buttons = ButtonGlyphImages();
    const std::vector<QImage> pins = PinPictureImages();
    for (int i = 0; i < 3; ++i) {
        Blit(image, pins[size_t(3 * i)], 423 + 24 * i, 5);
    }
    const int toggle[8] = {0, 3, 3, 2, 0, 1, 16, 3};
    const int tray[8] = {8, 6, 6, 9, 6, 6, 7, 6};
    const int dir[8] = {10, 10, 13, 13, 12, 13, 11, 15};
    QPainter p(&image);
    for (int k = 0; k < 8; ++k) {
        const int x = 10 + 60 * k;
        Blit(image, buttons[size_t(tray[k])], x, 44);
        Blit(image, buttons[size_t(toggle[k])], x + 17, 42);
        Blit(image, buttons[size_t(dir[k])], x + 39, 44);
        const int pressed = toggle[k] == 1 ? 1 : 0;
        p.setFont(LabelFont(12, true));
        p.setPen(QColor(0xe0, 0xe0, 0xe0));
        p.drawText(QRect(x + 18 + pressed, 43 + pressed, 22, 22), Qt::AlignCenter,
                   QString::number(k + 2));
        p.setPen(QColor(0, 0, 0));
        p.drawText(QRect(x + 17 + pressed, 42 + pressed, 22, 22), Qt::AlignCenter,
                   QString::number(k + 2));
        const QRect panel(k == 1 ? 70 : x + 2, 70, 52, 15);
        QLinearGradient g(panel.topLeft(), panel.bottomRight());
        g.setColorAt(0, QColor(0x2e, 0x31, 0x92));
        g.setColorAt(1, QColor(0xff, 0xff, 0xff));
        p.fillRect(panel, g);
        p.setFont(LabelFont(10));
        p.drawText(panel.adjusted(0, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter,
                   k == 3 ? QStringLiteral("0.50") : QStringLiteral("0.00"));
    }
    p.end();
    const int upper[13] = {12, 9, 10, 10, 9, 9, 10, 10, 10, 13, 14, 14, 13};
    for (int i = 0; i < 13; ++i) {
        Blit(image, pins[size_t(upper[i])], 177 + 11 * i, 102);
    }
    const int lower[12] = {11, 14, 12, 11, 15, 15, 15, 15, 15, 15, 15, 15};
    for (int i = 0; i < 12; ++i) {
        Blit(image, pins[size_t(lower[i])], 183 + 11 * i, 115);
    }
    return image;
}

QImage SetupMockup() {
    QImage image = SetupShape();
    Blit(image, PinPictureImages()[16], 286, 5);
    return image;
}

}  // namespace

QImage ArtSheet() {
    QImage sheet(kWidth, 2300, QImage::Format_RGB32);
    sheet.fill(QColor(0xec, 0xec, 0xf2));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(LabelFont(26, true));
    p.setPen(QColor(0x2e, 0x31, 0x92));
    p.drawText(kMargin, 44, QStringLiteral("Tarvik \u2014 artwork"));
    p.setFont(LabelFont(14));
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.drawText(kMargin, 68,
               QStringLiteral("Pictures enlarged %1\u00d7; the chequered squares are the key "
                              "colour (bottom-left pixel) or the alpha mask.")
                   .arg(kScale));
    int y = 90;
    y = DrawList(p, y, QStringLiteral("ButtonGlyphs"), ButtonGlyphImages());
    y = DrawList(p, y, QStringLiteral("PinPictures (title balls, lamps 9\u201315, setup button)"),
                 PinPictureImages());
    y = DrawList(p, y, QStringLiteral("ImageList1 (notification area)"), TrayPictureImages());

    p.setFont(LabelFont(18, true));
    p.setPen(QColor(0x20, 0x22, 0x60));
    p.drawText(kMargin, y + 18, QStringLiteral("Icon (16, 32, 48, 64 px; 32 px enlarged 4\u00d7)"));
    y += 30;
    int x = kMargin;
    for (int size : {16, 32, 48, 64}) {
        Checker(p, QRect(x, y, size, size), 4);
        p.drawImage(x, y, AppIcon(size));
        x += size + 20;
    }
    Checker(p, QRect(x, y, 128, 128), 4);
    DrawPixels(p, AppIcon(32), QPoint(x, y), 4);
    y += 128 + 24;

    p.setFont(LabelFont(18, true));
    p.drawText(
        kMargin, y + 18,
        QStringLiteral("Main window skin with its glyphs (2\u00d7) and the setup shape (1\u00d7)"));
    y += 30;
    const QImage main = MainMockup();
    Checker(p, QRect(kMargin, y, main.width() * 2, main.height() * 2), 8);
    DrawPixels(p, main, QPoint(kMargin, y), 2);
    const QImage setup = SetupMockup();
    const int setupLeft = kMargin + main.width() * 2 + 24;
    Checker(p, QRect(setupLeft, y, setup.width(), setup.height()), 8);
    DrawPixels(p, setup, QPoint(setupLeft, y), 1);
    y += std::max(main.height() * 2, setup.height()) + kMargin;
    p.end();
    return sheet.copy(0, 0, kWidth, y);
}

}  // namespace artgen
