#include "widgets/WindowShape.h"

#include <QEvent>
#include <QPainter>

#include "widgets/PictureShape.h"
#include "widgets/WindowDragger.h"

WindowShape::WindowShape(QWidget* window, const QImage& picture)
    : QObject(window),
      window_(window),
      picture_(picture),
      drawn_(PictureWithAlpha(picture)),
      dragger_(new WindowDragger(window)) {
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    UseTranslucentSkin(window);
    window->installEventFilter(this);
}

void WindowShape::SetDraggable(bool on) {
    dragger_->SetEnabled(on);
}

bool WindowShape::Draggable() const {
    return dragger_->Enabled();
}

bool WindowShape::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::Show && !applied_) {
            window_->setMask(PictureShape(picture_));
            applied_ = true;
        } else if (event->type() == QEvent::Paint) {
            QPainter painter(window_);
            painter.drawImage(0, 0, drawn_);
        }
    }
    return false;
}
