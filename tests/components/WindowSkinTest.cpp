// Skin and shape: the outline from the picture's non-key pixels, fixed size,
// no frame, and dragging by the bare picture with begin/moving/end signals.
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "widgets/PictureShape.h"
#include "widgets/WindowShape.h"
#include "widgets/WindowSkin.h"

namespace {

const QColor kKey(255, 0, 255);
const QColor kBody(0, 0, 128);

// 60 x 30: body with a key-coloured notch at the top right and key corners.
QImage Picture(int w = 60, int h = 30) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(kBody);
    QPainter p(&image);
    p.fillRect(w - 15, 0, 15, 8, kKey);
    p.end();
    image.setPixelColor(0, h - 1, kKey);
    image.setPixelColor(0, 0, kKey);
    return image;
}

}  // namespace

TEST(PictureShape, KeyPixelsAreOutsideAndBodyPixelsInside) {
    const QRegion shape = PictureShape(Picture());
    EXPECT_FALSE(shape.contains(QPoint(0, 29)));  // the key pixel itself
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(50, 3)));  // the notch
    EXPECT_TRUE(shape.contains(QPoint(1, 0)));
    EXPECT_TRUE(shape.contains(QPoint(50, 8)));
    EXPECT_TRUE(shape.contains(QPoint(59, 29)));
    EXPECT_FALSE(shape.contains(QPoint(60, 10)));
    EXPECT_EQ(shape.boundingRect(), QRect(0, 0, 60, 30));
    EXPECT_TRUE(PictureShape(QImage()).isEmpty());
}

TEST(WindowSkin, ShapesAndFixesTheWindow) {
    QWidget window;
    WindowSkin skin(&window, Picture());
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.minimumSize(), QSize(60, 30));
    EXPECT_EQ(window.maximumSize(), QSize(60, 30));
    window.show();
    EXPECT_FALSE(window.mask().contains(QPoint(0, 29)));
    EXPECT_TRUE(window.mask().contains(QPoint(30, 15)));
    EXPECT_TRUE(skin.Moveable());

    // The picture is the background.
    const QImage shot = window.grab().toImage();
    EXPECT_EQ(shot.pixelColor(30, 15), kBody);
}

TEST(WindowSkin, DragsByTheBarePictureOnly) {
    QWidget window;
    WindowSkin skin(&window, Picture());
    auto* control = new QWidget(&window);
    control->setGeometry(0, 0, 20, 20);
    window.move(100, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy begin(&skin, &WindowSkin::DragBegin);
    QSignalSpy end(&skin, &WindowSkin::DragEnd);
    QList<QRect> steps;
    QObject::connect(&skin, &WindowSkin::Moving, [&](QRect& r) { steps.append(r); });

    // Over the control: the control gets the mouse and the window stays.
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&window, QPoint(25, 20));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(25, 20));
    EXPECT_EQ(begin.count(), 0);
    EXPECT_EQ(window.pos(), QPoint(100, 100));

    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(40, 20));
    EXPECT_EQ(begin.count(), 1);
    QTest::mouseMove(&window, QPoint(50, 25));
    ASSERT_EQ(steps.size(), 1);
    EXPECT_EQ(steps[0].topLeft(), QPoint(110, 105));
    EXPECT_EQ(window.pos(), QPoint(110, 105));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(40, 20));
    EXPECT_EQ(end.count(), 1);

    // A receiver of Moving may change the rectangle the window takes.
    auto nudge =
        QObject::connect(&skin, &WindowSkin::Moving, [](QRect& r) { r.moveTopLeft(QPoint(7, 9)); });
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(40, 20));
    QTest::mouseMove(&window, QPoint(45, 22));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(45, 22));
    EXPECT_EQ(window.pos(), QPoint(7, 9));
    QObject::disconnect(nudge);
    window.move(110, 105);

    // Not moveable: nothing happens.
    skin.SetMoveable(false);
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(40, 20));
    QTest::mouseMove(&window, QPoint(55, 25));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(55, 25));
    EXPECT_EQ(begin.count(), 2);
    EXPECT_EQ(window.pos(), QPoint(110, 105));
}

TEST(WindowShape, CutsAtFirstShowAndKeepsTheShape) {
    QWidget window;
    window.resize(60, 30);
    WindowShape shape(&window, Picture());
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window.mask().isEmpty());
    EXPECT_FALSE(shape.Draggable());

    window.show();
    EXPECT_TRUE(shape.ShapeApplied());
    const QRegion first = window.mask();
    EXPECT_FALSE(first.contains(QPoint(50, 3)));
    EXPECT_TRUE(first.contains(QPoint(50, 20)));

    // Collapsed and shown again: the same shape, not one of the new height.
    window.hide();
    window.resize(60, 12);
    window.show();
    EXPECT_EQ(window.mask(), first);
}
