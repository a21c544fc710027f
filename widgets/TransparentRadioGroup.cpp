#include "widgets/TransparentRadioGroup.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "widgets/EngravedText.h"
#include "widgets/FlatMarks.h"
#include "widgets/TransparentGroupBox.h"

TransparentRadioGroup::TransparentRadioGroup(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void TransparentRadioGroup::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TransparentRadioGroup::SetItems(const QStringList& items) {
    items_ = items;
    if (index_ >= items_.size()) {
        index_ = -1;
    }
    update();
}

void TransparentRadioGroup::SetItemIndex(int index) {
    const int count = static_cast<int>(items_.size());
    index = index < -1 ? -1 : index;
    if (index >= count) {
        index = count - 1;
    }
    if (index_ != index) {
        index_ = index;
        update();
    }
}

// The rows share the height below the caption evenly; what does not divide goes
// half above the first row.
QRect TransparentRadioGroup::ItemRect(int i) const {
    const int count = static_cast<int>(items_.size());
    if (i < 0 || i >= count) {
        return {};
    }
    const int captionHeight = fontMetrics().height();
    const int free = qMax(0, height() - captionHeight - 5);
    const int rowHeight = free / count;
    const int top = captionHeight + 1 + (free % count) / 2;
    return QRect(8, top + i * rowHeight, qMax(0, width() - 16), rowHeight);
}

int TransparentRadioGroup::ItemAt(const QPoint& point) const {
    for (int i = 0; i < items_.size(); ++i) {
        if (ItemRect(i).contains(point)) {
            return i;
        }
    }
    return -1;
}

void TransparentRadioGroup::Choose(int index) {
    if (index < 0 || index >= items_.size()) {
        return;
    }
    const bool changed = index != index_;
    index_ = index;
    update();
    if (changed) {
        Q_EMIT Clicked();
    }
}

void TransparentRadioGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawGroupFrame(painter, *this, caption_);
    const QFontMetrics metrics = fontMetrics();
    for (int i = 0; i < items_.size(); ++i) {
        const QRect row = ItemRect(i);
        const QRect mark(row.left(), row.top() + (row.height() - kFlatMarkSize) / 2, kFlatMarkSize,
                         kFlatMarkSize);
        DrawFlatRadioMark(painter, mark, i == index_, palette(), isEnabled());
        const QString text = CaptionLines(items_[i]);
        const int textHeight = metrics.height() + 1;
        const QRect textRect(mark.right() + 5, row.top() + (row.height() - textHeight) / 2,
                             metrics.horizontalAdvance(text) + 3, textHeight);
        DrawEngravedText(painter, textRect.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         text, palette(), isEnabled());
        if (hasFocus() && i == qMax(0, index_)) {
            painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
            painter.drawRect(textRect.adjusted(-1, 0, 0, -1));
        }
    }
}

void TransparentRadioGroup::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressedItem_ = ItemAt(event->position().toPoint());
        return;
    }
    QWidget::mousePressEvent(event);
}

void TransparentRadioGroup::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int item = ItemAt(event->position().toPoint());
        if (item >= 0 && item == pressedItem_) {
            Choose(item);
        }
        pressedItem_ = -1;
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TransparentRadioGroup::keyPressEvent(QKeyEvent* event) {
    const int count = static_cast<int>(items_.size());
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            Choose(index_ <= 0 ? 0 : index_ - 1);
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            Choose(qMin(count - 1, index_ + 1));
            break;
        case Qt::Key_Space:
            Choose(qMax(0, index_));
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TransparentRadioGroup::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TransparentRadioGroup::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}
