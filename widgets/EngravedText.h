// Text effects of the program's controls, drawn without any background.
#pragma once

#include <QColor>
#include <QPalette>
#include <QRect>
#include <QString>

class QPainter;

// Captions come with "\r\n" or a lone "\r" as line breaks; Qt wants "\n".
QString CaptionLines(const QString& caption);

// Engraved: the text in the button-highlight colour at its place, then in the
// font colour one pixel down and to the right. Disabled texts use the disabled
// font colour for the second pass.
void DrawEngravedText(QPainter& painter, const QRect& rect, int flags, const QString& text,
                      const QPalette& palette, bool enabled = true);

// Raised: the highlight one pixel up and to the left, then the text at its place.
void DrawRaisedText(QPainter& painter, const QRect& rect, int flags, const QString& text,
                    const QColor& highlight, const QColor& color);
