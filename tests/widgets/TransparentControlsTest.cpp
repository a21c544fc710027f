#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GlyphList.h"
#include "widgets/GradientPanel.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentGroupBox.h"
#include "widgets/TransparentLabel.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

const QRgb kPicture = qRgb(200, 100, 50);

// Stands for the setup window's picture: one flat colour.
class Picture : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(kPicture)); }
};

bool Holds(const QImage& image, const QRect& area, QRgb color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if ((image.pixel(x, y) & RGB_MASK) == (color & RGB_MASK)) {
                return true;
            }
        }
    }
    return false;
}

class TransparentControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<Picture>();
        window_->resize(330, 270);
        QPalette palette = window_->palette();
        palette.setColor(QPalette::Light, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::black);
        window_->setPalette(palette);
    }
    QImage Shot() {
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return window_->grab().toImage();
    }
    std::unique_ptr<Picture> window_;
};

TEST_F(TransparentControlsTest, LabelUnderARadioGroupShowsThroughIt) {
    auto* label = new TransparentLabel(window_.get());
    label->setGeometry(216, 32, 93, 27);
    label->SetCaption("Верх.граница \rпанели настройки");
    auto* group = new TransparentRadioGroup(window_.get());
    group->setGeometry(18, 26, 295, 65);
    group->SetCaption("При старте программы");
    group->SetItems({"Текущее состояние", "Все в ноль", "Все в единицу"});
    group->SetItemIndex(0);
    const QImage shot = Shot();
    // Both lines of the label, engraved: highlight and font colour.
    EXPECT_TRUE(Holds(shot, QRect(216, 32, 93, 13), qRgb(0, 0, 0)));
    EXPECT_TRUE(Holds(shot, QRect(216, 45, 93, 14), qRgb(0, 0, 0)));
    EXPECT_TRUE(Holds(shot, QRect(216, 32, 93, 27), qRgb(255, 255, 255)));
    // Free spots of the group show the picture.
    EXPECT_EQ(shot.pixel(200, 70) & RGB_MASK, kPicture & RGB_MASK);
}

TEST_F(TransparentControlsTest, GroupBoxAndCheckBoxPaintNoBackground) {
    auto* box = new TransparentGroupBox(window_.get());
    box->setGeometry(17, 93, 297, 102);
    box->SetCaption("Разное");
    auto* check = new TransparentCheckBox(box);
    check->setGeometry(8, 13, 249, 17);
    check->SetText("Подсказки всплывающие");
    const QImage shot = Shot();
    EXPECT_EQ(shot.pixel(200, 150) & RGB_MASK, kPicture & RGB_MASK);
    EXPECT_EQ(shot.pixel(17 + 8 + 240, 93 + 20) & RGB_MASK, kPicture & RGB_MASK);
    EXPECT_TRUE(Holds(shot, QRect(17, 93, 60, 12), qRgb(0, 0, 0)));

    QSignalSpy clicks(check, &TransparentCheckBox::Clicked);
    QTest::mouseClick(check, Qt::LeftButton, Qt::NoModifier, {5, 8});
    EXPECT_TRUE(check->Checked());
    EXPECT_EQ(clicks.count(), 1);
    check->SetChecked(false);
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(TransparentControlsTest, RadioGroupClampsTheItemIndexAndTakesClicks) {
    auto* group = new TransparentRadioGroup(window_.get());
    group->setGeometry(18, 26, 295, 65);
    group->SetItems({"a", "b", "c"});
    group->SetItemIndex(7);
    EXPECT_EQ(group->ItemIndex(), 2);
    group->SetItemIndex(-4);
    EXPECT_EQ(group->ItemIndex(), -1);
    Shot();
    QTest::mouseClick(group, Qt::LeftButton, Qt::NoModifier, group->ItemRect(1).center());
    EXPECT_EQ(group->ItemIndex(), 1);
}

TEST_F(TransparentControlsTest, GradientRunsCornerToCornerAndShowsThroughTheDelayEdit) {
    auto* panel = new GradientPanel(window_.get());
    panel->setGeometry(12, 70, 52, 15);
    panel->SetStartColor(QColor(0x2E, 0x31, 0x92));
    panel->SetEndColor(Qt::white);
    panel->SetColorSteps(37);
    auto* spin = new FloatSpinEdit(panel);
    spin->setGeometry(0, 0, 52, 15);
    spin->SetTransparent(true);
    QFont small = spin->font();
    small.setPixelSize(9);
    spin->SetEditFont(small);
    spin->hide();
    QImage bare = Shot();
    EXPECT_EQ(bare.pixel(12, 70) & RGB_MASK, qRgb(0x2E, 0x31, 0x92) & RGB_MASK);
    EXPECT_EQ(bare.pixel(63, 84) & RGB_MASK, qRgb(255, 255, 255) & RGB_MASK);
    spin->show();
    QImage covered = window_->grab().toImage();
    // Beside and above the digits the gradient shows unchanged.
    for (QPoint at : {QPoint(13, 71), QPoint(40, 71), QPoint(14, 83)}) {
        EXPECT_EQ(covered.pixel(at), bare.pixel(at)) << at.x() << "," << at.y();
    }
}

}  // namespace
