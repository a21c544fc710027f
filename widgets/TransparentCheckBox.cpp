#include "widgets/TransparentCheckBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "widgets/EngravedText.h"
#include "widgets/FlatMarks.h"

TransparentCheckBox::TransparentCheckBox(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void TransparentCheckBox::SetText(const QString& text) {
    text_ = text;
    update();
}

void TransparentCheckBox::SetChecked(bool checked) {
    if (checked_ != checked) {
        checked_ = checked;
        update();
    }
}

QRect TransparentCheckBox::MarkRect() const {
    return QRect(0, (height() - kFlatMarkSize) / 2, kFlatMarkSize, kFlatMarkSize);
}

QRect TransparentCheckBox::TextRect() const {
    const QFontMetrics metrics = fontMetrics();
    const int width = metrics.horizontalAdvance(CaptionLines(text_)) + 3;
    const int height = metrics.height() + 1;
    return QRect(kFlatMarkSize + 4, (this->height() - height) / 2, width, height);
}

void TransparentCheckBox::Toggle() {
    checked_ = !checked_;
    update();
    Q_EMIT Clicked();
}

void TransparentCheckBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawFlatCheckMark(painter, MarkRect(), checked_, palette(), isEnabled());
    const QRect text = TextRect();
    DrawEngravedText(painter, text.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text_,
                     palette(), isEnabled());
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(text.adjusted(-1, 0, 0, -1));
    }
}

void TransparentCheckBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        mouseDown_ = true;
        return;
    }
    QWidget::mousePressEvent(event);
}

void TransparentCheckBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && mouseDown_) {
        mouseDown_ = false;
        if (rect().contains(event->position().toPoint())) {
            Toggle();
        }
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TransparentCheckBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        Toggle();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TransparentCheckBox::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TransparentCheckBox::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}
