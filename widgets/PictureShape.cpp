#include "widgets/PictureShape.h"

#include <vector>

#include "widgets/KeyColorMask.h"

QRegion PictureShape(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    std::vector<QRect> runs;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && row[x] == key) {
                ++x;
            }
            const int start = x;
            while (x < image.width() && row[x] != key) {
                ++x;
            }
            if (x > start) {
                runs.emplace_back(start, y, x - start, 1);
            }
        }
    }
    // The runs come sorted by row and then by column, which is the banded order
    // setRects() wants; uniting them one by one would be quadratic.
    QRegion region;
    region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}

QImage PictureWithAlpha(const QImage& picture) {
    return WithKeyColorTransparent(picture, BottomLeftKeyColor(picture));
}

void UseTranslucentSkin(QWidget* window) {
    window->setAttribute(Qt::WA_TranslucentBackground);
}
