#include "widgets/TransparentLabel.h"

#include <QPainter>

#include "widgets/EngravedText.h"

TransparentLabel::TransparentLabel(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TransparentLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TransparentLabel::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

QSize TransparentLabel::sizeHint() const {
    return fontMetrics().size(0, CaptionLines(caption_)) + QSize(1, 1);
}

void TransparentLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawEngravedText(painter, rect(), static_cast<int>(alignment_), caption_, palette(),
                     isEnabled());
}
