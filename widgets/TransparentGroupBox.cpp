#include "widgets/TransparentGroupBox.h"

#include <QPainter>
#include <QRegion>

#include "widgets/EngravedText.h"

TransparentGroupBox::TransparentGroupBox(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TransparentGroupBox::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TransparentGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawGroupFrame(painter, *this, caption_);
}

void DrawGroupFrame(QPainter& painter, const QWidget& box, const QString& caption) {
    const QFontMetrics metrics = box.fontMetrics();
    const QString text = CaptionLines(caption).section(QChar('\n'), 0, 0);
    const int top = metrics.height() / 2;
    const int w = box.width();
    const int h = box.height();
    QRect label;
    if (!text.isEmpty()) {
        label = QRect(8, 0, metrics.horizontalAdvance(text) + 3, metrics.height() + 1);
    }
    painter.save();
    painter.setClipRegion(QRegion(box.rect()).subtracted(QRegion(label)));
    const QPalette& palette = box.palette();
    painter.setPen(palette.color(QPalette::Active, QPalette::Dark));
    painter.drawRect(0, top, w - 2, h - top - 2);
    painter.setPen(palette.color(QPalette::Active, QPalette::Light));
    painter.drawRect(1, top + 1, w - 2, h - top - 2);
    painter.restore();
    if (!text.isEmpty()) {
        DrawEngravedText(painter, label.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, text,
                         palette, box.isEnabled());
    }
}
