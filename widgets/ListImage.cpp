#include "widgets/ListImage.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/GlyphList.h"

ListImage::ListImage(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void ListImage::SetGlyphList(GlyphList* list) {
    if (list_ == list) {
        return;
    }
    if (list_) {
        disconnect(list_, nullptr, this, nullptr);
    }
    list_ = list;
    if (list_) {
        connect(list_, &GlyphList::Changed, this, &ListImage::Refresh);
    }
    Refresh();
}

void ListImage::SetPictureIndex(int index) {
    if (index < 0 || index == index_) {
        return;
    }
    index_ = index;
    Refresh();
}

QSize ListImage::sizeHint() const {
    return list_ && list_->Has(index_) ? list_->Size(index_) : size();
}

void ListImage::Refresh() {
    if (list_ && list_->Has(index_) && size() != list_->Size(index_)) {
        resize(list_->Size(index_));
    }
    update();
}

void ListImage::paintEvent(QPaintEvent*) {
    if (list_ && list_->Has(index_)) {
        QPainter painter(this);
        painter.drawImage(0, 0, list_->Masked(index_));
    }
}

void ListImage::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
