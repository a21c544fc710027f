#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "widgets/GlyphList.h"
#include "widgets/ListImage.h"

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

QImage Ball(QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    image.setPixel(0, size.height() - 1, qRgb(0, 0, 255));
    return image;
}

TEST(ListImageTest, NegativeOrSameIndexKeepsThePictureAndDoesNotRepaint) {
    QWidget window;
    window.resize(40, 40);
    GlyphList list;
    list.Add(Ball({8, 8}, Qt::red));
    list.Add(Ball({16, 16}, Qt::yellow));
    auto* image = new ListImage(&window);
    image->SetGlyphList(&list);
    image->SetPictureIndex(0);
    EXPECT_EQ(image->size(), QSize(8, 8));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();

    PaintCounter counter;
    image->installEventFilter(&counter);
    image->SetPictureIndex(-1);
    image->SetPictureIndex(0);
    QApplication::processEvents();
    EXPECT_EQ(image->PictureIndex(), 0);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_EQ(image->grab().toImage().pixel(4, 4) & RGB_MASK, qRgb(255, 0, 0) & RGB_MASK);

    image->SetPictureIndex(1);
    QApplication::processEvents();
    EXPECT_GT(counter.paints, 0);
    EXPECT_EQ(image->size(), QSize(16, 16));
}

TEST(GlyphListTest, OutsideTheListIsEmptyAndCopyLeavesTheTargetAlone) {
    GlyphList list;
    list.Add(Ball({8, 8}, Qt::green));
    EXPECT_EQ(list.Size(1), QSize(0, 0));
    EXPECT_EQ(list.Size(-1), QSize(0, 0));
    QImage target(3, 3, QImage::Format_RGB32);
    EXPECT_FALSE(list.CopyBitmap(5, target));
    EXPECT_EQ(target.size(), QSize(3, 3));
    ASSERT_TRUE(list.CopyBitmap(0, target));
    EXPECT_EQ(target.size(), QSize(8, 8));
    // Only the key colour turns transparent.
    EXPECT_EQ(qAlpha(list.Masked(0).pixel(0, 7)), 0);
    EXPECT_EQ(qAlpha(list.Masked(0).pixel(1, 7)), 255);
}

}  // namespace
