#include "widgets/FlatMarks.h"

#include <QPainter>
#include <QPainterPath>

namespace {
QColor MarkColor(const QPalette& palette, bool enabled) {
    return palette.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
}
QColor FaceColor(const QPalette& palette, bool enabled) {
    return enabled ? palette.color(QPalette::Active, QPalette::Base)
                   : palette.color(QPalette::Active, QPalette::Button);
}
}  // namespace

void DrawFlatCheckMark(QPainter& painter, const QRect& box, bool checked, const QPalette& palette,
                       bool enabled) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette.color(QPalette::Active, QPalette::Dark));
    painter.setBrush(FaceColor(palette, enabled));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (checked) {
        // The classic seven-pixel tick, three pixels thick.
        painter.setPen(MarkColor(palette, enabled));
        const int x = box.left() + 3;
        const int y = box.top() + 5;
        for (int i = 0; i < 7; ++i) {
            const int dy = i < 3 ? i : 4 - i;
            painter.drawLine(x + i, y + dy, x + i, y + dy + 2);
        }
    }
    painter.restore();
}

void DrawFlatRadioMark(QPainter& painter, const QRect& box, bool checked, const QPalette& palette,
                       bool enabled) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF circle = QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(palette.color(QPalette::Active, QPalette::Dark), 1));
    painter.setBrush(FaceColor(palette, enabled));
    painter.drawEllipse(circle);
    if (checked) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(MarkColor(palette, enabled));
        painter.drawEllipse(circle.center(), 2.5, 2.5);
    }
    painter.restore();
}
