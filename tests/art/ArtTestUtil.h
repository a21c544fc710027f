#pragma once

#include <QImage>

#include <cmath>

namespace arttest {

inline constexpr QRgb kLime = 0xff00ff00;
inline constexpr QRgb kBlue = 0xff0000ff;
inline constexpr QRgb kRed = 0xffff0000;
inline constexpr QRgb kWhite = 0xffffffff;

inline QRgb Px(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xff000000u;
}

inline QRgb KeyOf(const QImage& image) {
    return Px(image, 0, image.height() - 1);
}

inline bool IsKey(const QImage& image, int x, int y) {
    return Px(image, x, y) == KeyOf(image);
}

inline double Distance(QRgb a, QRgb b) {
    const double dr = qRed(a) - qRed(b);
    const double dg = qGreen(a) - qGreen(b);
    const double db = qBlue(a) - qBlue(b);
    return std::sqrt(dr * dr + dg * dg + db * db);
}

}  // namespace arttest
