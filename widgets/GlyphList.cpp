#include "widgets/GlyphList.h"

#include "widgets/KeyColorMask.h"

namespace {
const QImage& NullImage() {
    static const QImage none;
    return none;
}
}  // namespace

GlyphList::GlyphList(QObject* parent) : QObject(parent) {}

QSize GlyphList::Size(int i) const {
    if (i < 0 || i >= Count()) {
        return {0, 0};
    }
    return bitmaps_[static_cast<size_t>(i)].size();
}

const QImage& GlyphList::Bitmap(int i) const {
    if (i < 0 || i >= Count()) {
        return NullImage();
    }
    return bitmaps_[static_cast<size_t>(i)];
}

const QImage& GlyphList::Masked(int i) const {
    if (i < 0 || i >= Count()) {
        return NullImage();
    }
    QImage& cached = masked_[static_cast<size_t>(i)];
    const QImage& source = bitmaps_[static_cast<size_t>(i)];
    if (cached.isNull() && !source.isNull()) {
        cached = WithKeyColorTransparent(source, BottomLeftKeyColor(source));
    }
    return cached;
}

void GlyphList::Add(const QImage& bitmap) {
    bitmaps_.push_back(bitmap);
    masked_.emplace_back();
    Q_EMIT Changed();
}

void GlyphList::Clear() {
    bitmaps_.clear();
    masked_.clear();
    Q_EMIT Changed();
}

bool GlyphList::CopyBitmap(int i, QImage& target) const {
    if (i < 0 || i >= Count()) {
        return false;
    }
    target = bitmaps_[static_cast<size_t>(i)].copy();
    return true;
}
