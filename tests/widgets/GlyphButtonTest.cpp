#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <memory>

#include "widgets/GlyphButton.h"
#include "widgets/GlyphList.h"

namespace {

// A solid tile with a blue key pixel in the bottom-left corner.
QImage Tile(QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    image.setPixel(0, size.height() - 1, qRgb(0, 0, 255));
    return image;
}

class GlyphButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->resize(200, 100);
        list_ = new GlyphList(window_.get());
        // 0 red, 1 dark red (pressed), 2 pink (hot), 3 green (latched), 4 cyan (new hot),
        // 5 a 17 x 20 grey tile.
        for (QColor c : {QColor(255, 0, 0), QColor(128, 0, 0), QColor(255, 150, 150),
                         QColor(0, 200, 0), QColor(0, 255, 255)}) {
            list_->Add(Tile({22, 22}, c));
        }
        list_->Add(Tile({17, 20}, Qt::gray));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    GlyphButton* MakeButton(int x, int group = 0) {
        auto* button = new GlyphButton(window_.get());
        button->SetGlyphList(list_);
        button->SetStateGlyph(GlyphButton::StateUp, 0);
        button->SetStateGlyph(GlyphButton::StatePressed, 1);
        button->SetStateGlyph(GlyphButton::StateHot, 2);
        button->SetStateGlyph(GlyphButton::StateLatched, 3);
        button->SetGroupIndex(group);
        button->move(x, 10);
        button->show();
        return button;
    }

    // The colour the window shows at the button's centre.
    static QRgb Shown(GlyphButton* button) {
        QApplication::processEvents();
        return button->grab().toImage().pixel(button->width() / 2, button->height() / 2) & RGB_MASK;
    }

    static void ClickAt(GlyphButton* button) {
        const QPoint centre = button->rect().center();
        QTest::mouseMove(button, centre);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, centre);
    }

    std::unique_ptr<QWidget> window_;
    GlyphList* list_ = nullptr;
};

TEST_F(GlyphButtonTest, HotPressedAndDragOutFollowTheMouse) {
    GlyphButton* button = MakeButton(10);
    QSignalSpy clicks(button, &GlyphButton::Clicked);
    EXPECT_EQ(button->size(), QSize(22, 22));
    EXPECT_EQ(Shown(button), qRgb(255, 0, 0) & RGB_MASK);

    QTest::mouseMove(button, {5, 5});
    EXPECT_EQ(button->State(), GlyphButton::StateHot);
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, {5, 5});
    EXPECT_EQ(button->State(), GlyphButton::StatePressed);
    EXPECT_EQ(Shown(button), qRgb(128, 0, 0) & RGB_MASK);

    // Dragged out the button looks up, back in pressed again.
    QTest::mouseMove(button, {60, 5});
    EXPECT_EQ(button->State(), GlyphButton::StateUp);
    QTest::mouseMove(button, {6, 6});
    EXPECT_EQ(button->State(), GlyphButton::StatePressed);

    QTest::mouseMove(button, {60, 5});
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, {60, 5});
    EXPECT_EQ(button->State(), GlyphButton::StateUp);
    EXPECT_EQ(clicks.count(), 0);

    ClickAt(button);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(button->State(), GlyphButton::StateHot);
    QTest::mouseMove(window_.get(), {150, 80});
    EXPECT_EQ(button->State(), GlyphButton::StateUp);
}

TEST_F(GlyphButtonTest, LatchMovesWithinTheGroupAndTheLatchedOneIgnoresClicks) {
    GlyphButton* first = MakeButton(10, 20);
    GlyphButton* second = MakeButton(40, 20);
    GlyphButton* loner = MakeButton(70, 0);
    QSignalSpy firstClicks(first, &GlyphButton::Clicked);
    QSignalSpy secondClicks(second, &GlyphButton::Clicked);

    ClickAt(first);
    EXPECT_TRUE(first->Pressed());
    EXPECT_EQ(first->State(), GlyphButton::StateLatched);
    EXPECT_EQ(firstClicks.count(), 1);

    // The latched button neither clicks nor turns hot nor lets go.
    QTest::mouseMove(window_.get(), {150, 80});
    ClickAt(first);
    EXPECT_EQ(firstClicks.count(), 1);
    EXPECT_EQ(first->State(), GlyphButton::StateLatched);
    first->SetPressed(false);
    EXPECT_TRUE(first->Pressed());

    ClickAt(second);
    EXPECT_TRUE(second->Pressed());
    EXPECT_FALSE(first->Pressed());
    EXPECT_EQ(first->State(), GlyphButton::StateUp);
    EXPECT_EQ(secondClicks.count(), 1);

    // Setting pressed latches too, without a click, and only for group buttons.
    first->SetPressed(true);
    EXPECT_FALSE(second->Pressed());
    EXPECT_EQ(secondClicks.count(), 1);
    loner->SetPressed(true);
    EXPECT_FALSE(loner->Pressed());
    EXPECT_TRUE(first->Pressed());
}

TEST_F(GlyphButtonTest, AllowAllUpLetsTheLatchedButtonGoAndPassesToTheReleasedOne) {
    GlyphButton* first = MakeButton(10, 7);
    GlyphButton* second = MakeButton(40, 7);
    first->SetAllowAllUp(true);
    first->SetPressed(true);
    ClickAt(first);
    EXPECT_FALSE(first->Pressed());

    first->SetPressed(true);
    second->SetPressed(true);  // second has allow-all-up off; first takes that over
    EXPECT_FALSE(first->AllowAllUp());
}

TEST_F(GlyphButtonTest, ReplacedGlyphShowsAtOnceOnlyForThePresentState) {
    GlyphButton* button = MakeButton(10);
    QTest::mouseMove(button, {5, 5});
    ASSERT_EQ(button->State(), GlyphButton::StateHot);
    button->SetStateGlyph(GlyphButton::StateHot, 4);
    EXPECT_EQ(Shown(button), qRgb(0, 255, 255) & RGB_MASK);
    button->SetStateGlyph(GlyphButton::StatePressed, 3);
    EXPECT_EQ(Shown(button), qRgb(0, 255, 255) & RGB_MASK);
}

TEST_F(GlyphButtonTest, MissingGlyphsFallBackAndAnEmptyButtonIsInvisible) {
    GlyphButton* button = MakeButton(10);
    button->SetStateGlyph(GlyphButton::StateHot, 99);
    QTest::mouseMove(button, {5, 5});
    EXPECT_EQ(button->DrawnGlyph(), 0);
    button->SetStateGlyph(GlyphButton::StateLatched, -1);
    button->SetStateGlyph(GlyphButton::StateDisabled, 5);

    auto* empty = new GlyphButton(window_.get());
    empty->SetGlyphList(list_);
    EXPECT_EQ(empty->DrawnGlyph(), -1);
    EXPECT_EQ(empty->size(), QSize(20, 20));

    // The size follows the glyph shown: the grey 17 x 20 disabled face.
    button->setEnabled(false);
    EXPECT_EQ(button->State(), GlyphButton::StateDisabled);
    EXPECT_EQ(button->size(), QSize(17, 20));
}

TEST_F(GlyphButtonTest, EnablingChoosesTheStateFromThePressedFlag) {
    GlyphButton* button = MakeButton(10, 3);
    button->SetPressed(true);
    button->setEnabled(false);
    EXPECT_EQ(button->State(), GlyphButton::StateDisabledLatched);
    // The latched fallback (state 4's glyph) is drawn while disabled and latched.
    EXPECT_EQ(button->DrawnGlyph(), 1);
    button->setEnabled(true);
    EXPECT_EQ(button->State(), GlyphButton::StateLatched);

    GlyphButton* plain = MakeButton(40);
    QSignalSpy clicks(plain, &GlyphButton::Clicked);
    plain->setEnabled(false);
    EXPECT_EQ(plain->State(), GlyphButton::StateDisabled);
    ClickAt(plain);
    EXPECT_EQ(clicks.count(), 0);
    plain->Click();
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(plain->State(), GlyphButton::StateDisabled);
}

TEST_F(GlyphButtonTest, KeyColourLetsTheParentShowThrough) {
    window_->setAutoFillBackground(true);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    window_->setPalette(palette);
    GlyphButton* button = MakeButton(10);
    QApplication::processEvents();
    const QImage shot = window_->grab().toImage();
    EXPECT_EQ(shot.pixel(10, 10 + 21) & RGB_MASK, qRgb(10, 20, 30) & RGB_MASK);
    EXPECT_EQ(shot.pixel(11, 10 + 21) & RGB_MASK, qRgb(255, 0, 0) & RGB_MASK);
    (void)button;
}

}  // namespace
