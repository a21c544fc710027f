// The outline of a skinned window: every pixel of its picture that differs from
// the key colour (the colour of the bottom-left pixel) belongs to the window.
#pragma once

#include <QImage>
#include <QRegion>

// Runs of non-key pixels, row by row, as one-pixel-high rectangles.
QRegion PictureShape(const QImage& picture);
