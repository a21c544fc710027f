#include "tools/artgen/Raster.h"

#include <algorithm>
#include <cmath>

namespace artgen {

Rgb Hex(unsigned rgb) {
    return {double((rgb >> 16) & 0xff), double((rgb >> 8) & 0xff), double(rgb & 0xff)};
}

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb c, double f) {
    return {c.r * f, c.g * f, c.b * f};
}

static int Channel(double v) {
    return std::clamp(int(std::lround(v)), 0, 255);
}

QRgb ToQRgb(Rgb c) {
    return qRgb(Channel(c.r), Channel(c.g), Channel(c.b));
}

Rgb FromQRgb(QRgb c) {
    return {double(qRed(c)), double(qGreen(c)), double(qBlue(c))};
}

Mask::Mask(int width, int height)
    : width_(width), height_(height), on_(size_t(width) * size_t(height), 0) {}

bool Mask::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return false;
    }
    return on_[size_t(y) * size_t(width_) + size_t(x)] != 0;
}

void Mask::set(int x, int y, bool on) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return;
    }
    on_[size_t(y) * size_t(width_) + size_t(x)] = on ? 1 : 0;
}

void Mask::addRect(int left, int top, int width, int height) {
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            set(x, y);
        }
    }
}

void Mask::addRoundedRect(int left, int top, int width, int height, double rTL, double rTR,
                          double rBR, double rBL) {
    const double l = left;
    const double t = top;
    const double r = left + width;
    const double b = top + height;
    auto inCorner = [](double px, double py, double cx, double cy, double rad) {
        return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= rad * rad;
    };
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            bool in = true;
            if (px < l + rTL && py < t + rTL) {
                in = inCorner(px, py, l + rTL, t + rTL, rTL);
            } else if (px > r - rTR && py < t + rTR) {
                in = inCorner(px, py, r - rTR, t + rTR, rTR);
            } else if (px > r - rBR && py > b - rBR) {
                in = inCorner(px, py, r - rBR, b - rBR, rBR);
            } else if (px < l + rBL && py > b - rBL) {
                in = inCorner(px, py, l + rBL, b - rBL, rBL);
            }
            if (in) {
                set(x, y);
            }
        }
    }
}

void Mask::addEllipse(double cx, double cy, double rx, double ry) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const double dx = (x + 0.5 - cx) / rx;
            const double dy = (y + 0.5 - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) {
                set(x, y);
            }
        }
    }
}

void Mask::unite(const Mask& other) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (other.at(x, y)) {
                set(x, y);
            }
        }
    }
}

void Mask::subtract(const Mask& other) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (other.at(x, y)) {
                set(x, y, false);
            }
        }
    }
}

Mask Mask::inverted() const {
    Mask m(width_, height_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            m.set(x, y, !at(x, y));
        }
    }
    return m;
}

Mask Mask::dilated(int radius) const {
    Mask m(width_, height_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            bool hit = false;
            for (int dy = -radius; dy <= radius && !hit; ++dy) {
                for (int dx = -radius; dx <= radius && !hit; ++dx) {
                    hit = at(x + dx, y + dy);
                }
            }
            m.set(x, y, hit);
        }
    }
    return m;
}

int Mask::count() const {
    return int(std::count(on_.begin(), on_.end(), 1));
}

QImage NewImage(int width, int height, QRgb fill) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

void ApplyKey(QImage& image, const Mask& shape, QRgb key) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!shape.at(x, y)) {
                image.setPixel(x, y, key);
            }
        }
    }
}

void CopyMasked(QImage& image, const QImage& overlay, const Mask& where) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (where.at(x, y)) {
                image.setPixel(x, y, overlay.pixel(x, y));
            }
        }
    }
}

void ApplyBevel(QImage& image, const Mask& region, const Mask& outside, int width, Rgb light,
                Rgb dark, double strength) {
    const int reach = width + 1;
    QImage source = image.copy();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!region.at(x, y)) {
                continue;
            }
            // Distance (in rings) to the nearest outside pixel, and the direction
            // towards the outside as a weighted sum of the outside offsets.
            int nearest = reach + 1;
            double nx = 0;
            double ny = 0;
            for (int dy = -reach; dy <= reach; ++dy) {
                for (int dx = -reach; dx <= reach; ++dx) {
                    const int ox = x + dx;
                    const int oy = y + dy;
                    // Beyond the picture's border counts as outside too.
                    const bool beyond =
                        ox < 0 || oy < 0 || ox >= image.width() || oy >= image.height();
                    if ((dx == 0 && dy == 0) || !(beyond || outside.at(ox, oy))) {
                        continue;
                    }
                    const int ring = std::max(std::abs(dx), std::abs(dy));
                    nearest = std::min(nearest, ring);
                    const double w = 1.0 / double(dx * dx + dy * dy);
                    nx += dx * w;
                    ny += dy * w;
                }
            }
            if (nearest > width) {
                continue;
            }
            const double len = std::hypot(nx, ny);
            if (len < 1e-9) {
                continue;
            }
            // +1 when the outside lies straight up-left, -1 down-right.
            const double facing = -(nx + ny) / (len * std::sqrt(2.0));
            const double falloff = 1.0 - double(nearest - 1) / double(width);
            const double amount = std::clamp(facing * 1.6, -1.0, 1.0) * falloff * strength;
            const Rgb c = FromQRgb(source.pixel(x, y));
            image.setPixel(x, y,
                           ToQRgb(amount > 0 ? Mix(c, light, amount) : Mix(c, dark, -amount)));
        }
    }
}

namespace {

Rgb ShadeBallSample(double dx, double dy, double r, const BallLook& look) {
    double nx = dx / r;
    double ny = dy / r;
    double rho2 = nx * nx + ny * ny;
    if (rho2 > 0.999) {
        const double s = std::sqrt(0.999 / rho2);
        nx *= s;
        ny *= s;
        rho2 = 0.999;
    }
    const double nz = std::sqrt(1.0 - rho2);
    // Light from the upper left, in front of the picture.
    const double lx = -0.45;
    const double ly = -0.62;
    const double lz = 0.64;
    const double diffuse = std::max(0.0, nx * lx + ny * ly + nz * lz);
    Rgb c = Scale(look.base, (0.32 + 0.78 * diffuse) * look.brightness);
    // A soft glow of the base colour at the lower rim, like light through glass.
    const double glow = std::clamp((ny - 0.35) * 1.4, 0.0, 1.0) * (1.0 - nz) * 0.6;
    c = Mix(c, Mix(look.base, Hex(0xffffff), 0.35), glow * look.gloss);
    // The glassy reflection: a bright cap over the upper part of the ball.
    if (look.gloss > 0) {
        const double gx = nx / 0.68;
        const double gy = (ny + 0.42) / 0.42;
        const double g = gx * gx + gy * gy;
        if (g < 1.0) {
            const double fade = std::clamp((0.25 - ny) / 0.8, 0.0, 1.0);
            c = Mix(c, Hex(0xffffff),
                    look.gloss * (0.25 + 0.6 * fade) * std::min(1.0, (1.0 - g) * 4));
        }
    }
    // Highlight spot.
    const double hx = lx;
    const double hy = ly;
    const double hz = lz + 1.0;
    const double hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    const double shine = std::pow(std::max(0.0, (nx * hx + ny * hy + nz * hz) / hl), 40.0);
    c = Mix(c, Hex(0xffffff), std::clamp(shine * look.specular, 0.0, 1.0));
    // Darken towards the outline for a crisp edge.
    if (look.rimAmount > 0) {
        const double edge = std::clamp((std::sqrt(rho2) - 0.72) / 0.28, 0.0, 1.0);
        c = Mix(c, look.rim, edge * edge * look.rimAmount);
    }
    return c;
}

}  // namespace

void PaintBall(QImage& image, const Mask& shape, double cx, double cy, double r,
               const BallLook& look) {
    constexpr int kSub = 4;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!shape.at(x, y)) {
                continue;
            }
            Rgb sum;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const double px = x + (sx + 0.5) / kSub;
                    const double py = y + (sy + 0.5) / kSub;
                    const Rgb s = ShadeBallSample(px - cx, py - cy, r, look);
                    sum.r += s.r;
                    sum.g += s.g;
                    sum.b += s.b;
                }
            }
            image.setPixel(x, y, ToQRgb(Scale(sum, 1.0 / (kSub * kSub))));
        }
    }
}

}  // namespace artgen
