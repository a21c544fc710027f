#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "widgets/BitmapButton.h"

namespace {

QImage Face(QColor color) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    image.setPixel(0, 0, qRgb(0, 255, 0));
    return image;
}

TEST(BitmapButtonTest, FacesFollowMouseAndEnabling) {
    QWidget window;
    window.resize(60, 40);
    auto* button = new BitmapButton(&window);
    button->SetBitmaps(Face(Qt::red), Face(Qt::gray), Face(Qt::darkRed), Face(Qt::yellow));
    button->move(10, 10);
    EXPECT_EQ(button->size(), QSize(16, 16));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(button, &BitmapButton::Clicked);

    QTest::mouseMove(&window, {55, 35});
    QTest::mouseMove(button, {8, 8});
    EXPECT_EQ(button->CurrentFace(), BitmapButton::FaceHot);
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, {8, 8});
    EXPECT_EQ(button->CurrentFace(), BitmapButton::FaceDown);
    QTest::mouseMove(button, {40, 8});
    EXPECT_EQ(button->CurrentFace(), BitmapButton::FaceUp);
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, {40, 8});
    EXPECT_EQ(clicks.count(), 0);

    QTest::mouseMove(button, {8, 8});
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, {8, 8});
    EXPECT_EQ(clicks.count(), 1);

    // The lime corner is left out; the rest of the face is drawn.
    const QImage shot = button->grab().toImage();
    EXPECT_EQ(shot.pixel(5, 5) & RGB_MASK, qRgb(255, 255, 0) & RGB_MASK);
    EXPECT_NE(shot.pixel(0, 0) & RGB_MASK, qRgb(0, 255, 0) & RGB_MASK);

    button->setEnabled(false);
    EXPECT_EQ(button->CurrentFace(), BitmapButton::FaceDisabled);
}

}  // namespace
