// An image that shows one bitmap of a glyph list, without the bitmap's key colour,
// at the bitmap's size. It paints nothing else, so the parent shows around it.
#pragma once

#include <QPointer>
#include <QWidget>

#include "widgets/GlyphList.h"

class ListImage : public QWidget {
    Q_OBJECT

public:
    explicit ListImage(QWidget* parent = nullptr);

    void SetGlyphList(GlyphList* list);
    GlyphList* List() const { return list_; }
    // A negative index, or the index already shown, is ignored.
    void SetPictureIndex(int index);
    int PictureIndex() const { return index_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The image covers its spot: a press on it does not fall through to the
    // window (which would start dragging a skinned window).
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Refresh();

    QPointer<GlyphList> list_;
    int index_ = -1;
};
