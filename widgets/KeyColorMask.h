// Pictures with a key colour: every pixel of that colour is left out when drawn.
#pragma once

#include <QImage>
#include <QRgb>

// The colour of the bottom-left pixel, the key colour of the program's glyphs.
QRgb BottomLeftKeyColor(const QImage& image);

// A premultiplied ARGB copy in which the key colour (compared without alpha)
// and already transparent pixels are fully transparent; other pixels are opaque.
QImage WithKeyColorTransparent(const QImage& image, QRgb key);
