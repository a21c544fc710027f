#include "widgets/HintBalloon.h"

#include <QPainter>

HintBalloon::HintBalloon()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
}

void HintBalloon::SetContent(const HintLook& look, const QPixmap& under) {
    look_ = look;
    under_ = under;
    if (under_.isNull()) {
        const QPolygon body = look_.shape.toFillPolygon().toPolygon();
        QRegion region(body, Qt::WindingFill);
        region += QRegion(body.translated(look_.shadowDepth, look_.shadowDepth), Qt::WindingFill);
        setMask(region);
    } else {
        clearMask();
    }
    update();
}

void HintBalloon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!under_.isNull()) {
        painter.drawPixmap(0, 0, under_);
    }
    painter.setRenderHint(QPainter::Antialiasing, !under_.isNull());
    if (look_.shadowDepth > 0) {
        painter.fillPath(look_.shape.translated(look_.shadowDepth, look_.shadowDepth),
                         look_.shadowColor);
    }
    painter.setPen(QPen(look_.borderColor, 1));
    painter.setBrush(look_.color);
    painter.drawPath(look_.shape);
    painter.setPen(look_.fontColor);
    painter.setFont(look_.font);
    painter.drawText(look_.textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, look_.text);
}
