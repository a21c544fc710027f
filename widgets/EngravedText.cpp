#include "widgets/EngravedText.h"

#include <QPainter>

QString CaptionLines(const QString& caption) {
    QString lines = caption;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QChar('\r'), QChar('\n'));
    return lines;
}

void DrawEngravedText(QPainter& painter, const QRect& rect, int flags, const QString& text,
                      const QPalette& palette, bool enabled) {
    const QString lines = CaptionLines(text);
    painter.save();
    painter.setPen(palette.color(QPalette::Active, QPalette::Light));
    painter.drawText(rect, flags, lines);
    painter.setPen(enabled ? palette.color(QPalette::Active, QPalette::WindowText)
                           : palette.color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect.translated(1, 1), flags, lines);
    painter.restore();
}

void DrawRaisedText(QPainter& painter, const QRect& rect, int flags, const QString& text,
                    const QColor& highlight, const QColor& color) {
    const QString lines = CaptionLines(text);
    painter.save();
    painter.setPen(highlight);
    painter.drawText(rect.translated(-1, -1), flags, lines);
    painter.setPen(color);
    painter.drawText(rect, flags, lines);
    painter.restore();
}
