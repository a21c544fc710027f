// The outline of a skinned window: every pixel of its picture that differs from
// the key colour (the colour of the bottom-left pixel) belongs to the window.
#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>

// Runs of non-key pixels, row by row, as one-pixel-high rectangles.
QRegion PictureShape(const QImage& picture);

// The picture as a skinned window draws it: key-colour pixels fully transparent.
// Where the window system composites, this alone gives the outline, also where
// the shape is ignored (Wayland, where a shape only limits the input, and some
// Xwayland window managers); elsewhere the shape cuts those pixels away anyway.
QImage PictureWithAlpha(const QImage& picture);

// Makes a skinned window draw through its picture's alpha. Call before the
// window is first shown.
void UseTranslucentSkin(QWidget* window);
