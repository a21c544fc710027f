// The flat check and radio marks of the transparent controls: a white box or
// circle with a thin grey edge, a tick or a dot in the font colour.
#pragma once

#include <QPalette>
#include <QRect>

class QPainter;

// The side of the square a mark takes.
constexpr int kFlatMarkSize = 13;

void DrawFlatCheckMark(QPainter& painter, const QRect& box, bool checked, const QPalette& palette,
                       bool enabled);
void DrawFlatRadioMark(QPainter& painter, const QRect& box, bool checked, const QPalette& palette,
                       bool enabled);
