#include "widgets/BitmapButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "widgets/KeyColorMask.h"

BitmapButton::BitmapButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::TabFocus);
}

void BitmapButton::SetBitmaps(const QImage& up, const QImage& disabled, const QImage& down,
                              const QImage& hot) {
    sources_ = {up, disabled, down, hot};
    Rebuild();
}

void BitmapButton::SetTransparentColor(const QColor& color) {
    key_ = color;
    Rebuild();
}

void BitmapButton::Rebuild() {
    for (size_t i = 0; i < faces_.size(); ++i) {
        faces_[i] = WithKeyColorTransparent(sources_[i], key_.rgb());
    }
    if (!sources_[FaceUp].isNull() && size() != sources_[FaceUp].size()) {
        resize(sources_[FaceUp].size());
    }
    update();
}

BitmapButton::Face BitmapButton::CurrentFace() const {
    if (!isEnabled()) {
        return FaceDisabled;
    }
    if (mouseDown_ && downInside_) {
        return FaceDown;
    }
    return hover_ && !mouseDown_ ? FaceHot : FaceUp;
}

QSize BitmapButton::sizeHint() const {
    return sources_[FaceUp].isNull() ? QSize(16, 16) : sources_[FaceUp].size();
}

void BitmapButton::paintEvent(QPaintEvent*) {
    const QImage& face = faces_[CurrentFace()];
    QPainter painter(this);
    painter.drawImage(0, 0, face.isNull() ? faces_[FaceUp] : face);
}

void BitmapButton::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void BitmapButton::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

void BitmapButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    mouseDown_ = true;
    downInside_ = true;
    update();
}

void BitmapButton::mouseMoveEvent(QMouseEvent* event) {
    if (mouseDown_) {
        const bool inside = rect().contains(event->position().toPoint());
        if (inside != downInside_) {
            downInside_ = inside;
            update();
        }
    }
}

void BitmapButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !mouseDown_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    mouseDown_ = false;
    const bool inside = rect().contains(event->position().toPoint());
    hover_ = inside;
    update();
    if (inside) {
        Q_EMIT Clicked();
    }
}

// Reached with the Tab key, it clicks on Space and Enter like any button.
void BitmapButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!event->isAutoRepeat()) {
                Q_EMIT Clicked();
            }
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void BitmapButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        mouseDown_ = false;
        update();
    }
    QWidget::changeEvent(event);
}
