#include "widgets/KeyColorMask.h"

QRgb BottomLeftKeyColor(const QImage& image) {
    if (image.isNull()) {
        return 0;
    }
    return image.pixel(0, image.height() - 1);
}

QImage WithKeyColorTransparent(const QImage& image, QRgb key) {
    if (image.isNull()) {
        return {};
    }
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key & RGB_MASK;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(line[x]) == 0 || (line[x] & RGB_MASK) == keyRgb) {
                line[x] = 0;
            } else {
                line[x] |= 0xFF000000u;
            }
        }
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
