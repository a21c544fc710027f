#include "widgets/WindowSkin.h"

#include <QEvent>
#include <QPainter>

#include "widgets/PictureShape.h"
#include "widgets/WindowDragger.h"

WindowSkin::WindowSkin(QWidget* window, const QImage& picture)
    : QObject(window),
      window_(window),
      picture_(picture),
      drawn_(PictureWithAlpha(picture)),
      dragger_(new WindowDragger(window)) {
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    UseTranslucentSkin(window);
    window->setFixedSize(picture_.size());
    window->setMask(PictureShape(picture_));
    window->installEventFilter(this);
    dragger_->SetEnabled(true);
    connect(dragger_, &WindowDragger::DragBegin, this, &WindowSkin::DragBegin);
    connect(dragger_, &WindowDragger::Moving, this, &WindowSkin::Moving);
    connect(dragger_, &WindowDragger::DragEnd, this, &WindowSkin::DragEnd);
}

void WindowSkin::SetMoveable(bool on) {
    dragger_->SetEnabled(on);
}

bool WindowSkin::Moveable() const {
    return dragger_->Enabled();
}

bool WindowSkin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::Paint) {
            // Runs inside the window's paint event, before its own paintEvent().
            QPainter painter(window_);
            painter.drawImage(0, 0, drawn_);
        } else if (event->type() == QEvent::Resize) {
            window_->setMask(PictureShape(picture_));
        }
    }
    return false;
}
