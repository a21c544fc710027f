// An indexed list of bitmaps, each of its own size, shared by the buttons and
// images that draw from it. The key colour of each bitmap is its bottom-left pixel.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <vector>

class GlyphList : public QObject {
    Q_OBJECT

public:
    explicit GlyphList(QObject* parent = nullptr);

    int Count() const { return static_cast<int>(bitmaps_.size()); }
    // 0 x 0 for an index outside the list.
    QSize Size(int i) const;
    // A null image for an index outside the list.
    const QImage& Bitmap(int i) const;
    // The bitmap with its key colour made transparent, ready to draw; cached.
    const QImage& Masked(int i) const;
    // Whether bitmap i exists and is not empty.
    bool Has(int i) const { return !Size(i).isEmpty(); }

    void Add(const QImage& bitmap);
    void Clear();
    // The target becomes a copy of bitmap i; false (target untouched) outside the list.
    bool CopyBitmap(int i, QImage& target) const;

Q_SIGNALS:
    // The bitmaps changed; every user redraws.
    void Changed();

private:
    std::vector<QImage> bitmaps_;
    mutable std::vector<QImage> masked_;
};
