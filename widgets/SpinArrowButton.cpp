#include "widgets/SpinArrowButton.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QPolygon>

SpinArrowButton::SpinArrowButton(bool up, QWidget* parent) : QAbstractButton(parent), up_(up) {
    setFocusPolicy(Qt::NoFocus);
    setAutoRepeat(true);
    setAutoRepeatDelay(400);
    setAutoRepeatInterval(60);
    setAttribute(Qt::WA_Hover);
}

void SpinArrowButton::SetFlat(bool flat) {
    flat_ = flat;
    update();
}

void SpinArrowButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool down = isDown();
    QRect face = rect();
    if (flat_) {
        if (down || underMouse()) {
            painter.fillRect(face, QColor(255, 255, 255, down ? 110 : 60));
        }
    } else {
        const QBrush fill = palette().brush(QPalette::Button);
        qDrawWinButton(&painter, face, palette(), down, &fill);
        face.adjust(2, 2, -2, -2);
    }
    // A small solid triangle, as wide as the face allows, nudged while down.
    const int half = qMax(1, qMin((face.width() - 1) / 2, face.height() - 1) / 2 + 1);
    const int height = qMax(1, half - (half > 2 ? 1 : 0));
    QPoint centre = face.center() + QPoint(face.width() % 2 == 0 ? 1 : 0, 0);
    if (down) {
        centre += QPoint(1, 1);
    }
    const int top = centre.y() - height / 2;
    QPolygon arrow;
    if (up_) {
        arrow << QPoint(centre.x(), top) << QPoint(centre.x() - height + 1, top + height - 1)
              << QPoint(centre.x() + height - 1, top + height - 1);
    } else {
        arrow << QPoint(centre.x() - height + 1, top) << QPoint(centre.x() + height - 1, top)
              << QPoint(centre.x(), top + height - 1);
    }
    const QColor color =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    painter.setPen(color);
    painter.setBrush(color);
    painter.drawPolygon(arrow);
}
