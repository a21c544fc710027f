#pragma once

#include <QImage>
#include <QRgb>

#include <vector>

// Pixel-level helpers of the art generator. Outlines that border a key colour
// are built as hard masks (a pixel is in or out by its centre), so no blended
// fringe colour ever sits next to the key.
namespace artgen {

// A colour with double channels in 0..255, for shading arithmetic.
struct Rgb {
    double r = 0;
    double g = 0;
    double b = 0;
};

Rgb Hex(unsigned rgb);
Rgb Mix(Rgb a, Rgb b, double t);
Rgb Scale(Rgb c, double f);
QRgb ToQRgb(Rgb c);
Rgb FromQRgb(QRgb c);

class Mask {
public:
    Mask(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    // Pixels outside the picture count as "off".
    bool at(int x, int y) const;
    void set(int x, int y, bool on = true);
    void addRect(int left, int top, int width, int height);
    // A rectangle with separately rounded corners (top-left, top-right,
    // bottom-right, bottom-left); a corner pixel is in when its centre lies
    // within the corner circle.
    void addRoundedRect(int left, int top, int width, int height, double rTL, double rTR,
                        double rBR, double rBL);
    void addEllipse(double cx, double cy, double rx, double ry);
    void unite(const Mask& other);
    void subtract(const Mask& other);
    Mask inverted() const;
    // Pixels within `radius` (8-neighbourhood steps) of an "on" pixel.
    Mask dilated(int radius) const;
    int count() const;

private:
    int width_;
    int height_;
    std::vector<unsigned char> on_;
};

QImage NewImage(int width, int height, QRgb fill);
// Every pixel outside `shape` gets the key colour.
void ApplyKey(QImage& image, const Mask& shape, QRgb key);
// Copies `overlay` into `image` where `where` is on.
void CopyMasked(QImage& image, const QImage& overlay, const Mask& where);

// A raised bevel on the pixels of `region` that lie within `width` of a pixel of
// `outside` or of the picture's border: light where the outside lies towards the upper left, dark
// where it lies towards the lower right. `strength` scales the effect.
void ApplyBevel(QImage& image, const Mask& region, const Mask& outside, int width, Rgb light,
                Rgb dark, double strength = 1.0);

// Shading of a lit sphere of radius r around (cx, cy), painted on the pixels of
// `shape` only (supersampled inside, hard at the outline).
struct BallLook {
    Rgb base;
    double brightness = 1.0;  // scales the diffuse light: <1 pressed, >1 hot
    double gloss = 0.0;       // strength of the glassy reflection in the upper half
    double specular = 0.8;    // strength of the highlight spot
    Rgb rim = Hex(0x000000);  // colour the outline darkens towards
    double rimAmount = 0.0;
};
void PaintBall(QImage& image, const Mask& shape, double cx, double cy, double r,
               const BallLook& look);

}  // namespace artgen
