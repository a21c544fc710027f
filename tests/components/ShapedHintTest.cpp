// The shaped hint: placement with the off-screen fallback order, the box size
// rules, and that it takes over the tooltips of the controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "widgets/ShapedHint.h"

namespace {

const QRect kScreen(0, 0, 1280, 1024);
const QSize kBox(100, 40);

}  // namespace

TEST(ShapedHintPlacement, EachPositionPutsTheBoxWhereTheRuleSays) {
    ShapedHint hint;
    const QPoint c(600, 500);
    EXPECT_EQ(hint.PlaceBox(c, kBox, kScreen).bottomRight(), QPoint(599, 499));
    hint.SetPosition(hpAboveRight);
    const QRect ar = hint.PlaceBox(c, kBox, kScreen);
    EXPECT_EQ(ar.left(), 601);
    EXPECT_EQ(ar.bottom(), 499);
    hint.SetPosition(hpBelowLeft);
    const QRect bl = hint.PlaceBox(c, kBox, kScreen);
    EXPECT_EQ(bl.right(), 597);
    EXPECT_EQ(bl.top(), 501);
    hint.SetPosition(hpBelowRight);
    EXPECT_EQ(hint.PlaceBox(c, kBox, kScreen).topLeft(), QPoint(606, 501));
}

TEST(ShapedHintPlacement, NearTheTopLeftCornerTheHintGoesBelowRight) {
    ShapedHint hint;  // above-left by default
    const ShapedHint::Placement p = hint.Place(QPoint(5, 5), kBox, kScreen);
    EXPECT_EQ(p.position, hpBelowRight);
    EXPECT_EQ(p.box.topLeft(), QPoint(11, 6));

    // Room above but none on the left: above-right.
    EXPECT_EQ(hint.Place(QPoint(5, 500), kBox, kScreen).position, hpAboveRight);
    // At the top right: neither above position fits, below-left does.
    const ShapedHint::Placement tr = hint.Place(QPoint(1275, 5), kBox, kScreen);
    EXPECT_EQ(tr.position, hpBelowLeft);
    EXPECT_TRUE(kScreen.contains(tr.box));
    // The order wraps: from below-right at the bottom right back to above-left.
    hint.SetPosition(hpBelowRight);
    EXPECT_EQ(hint.Place(QPoint(1275, 1020), kBox, kScreen).position, hpAboveLeft);
    // Nothing fits: four tries, and the last one tried is used.
    hint.SetPosition(hpAboveLeft);
    EXPECT_EQ(hint.Place(QPoint(5, 5), QSize(2000, 40), kScreen).position, hpBelowRight);
}

TEST(ShapedHintPlacement, BoxWrapsAtAQuarterOfTheScreenAndMakesRoomForTheNose) {
    ShapedHint hint;
    const QString longText(400, QLatin1Char('x'));
    QString words;
    for (int i = 0; i < 80; ++i) {
        words += QStringLiteral("word ");
    }
    const QSize wrapped = hint.BoxSize(words, kScreen);
    EXPECT_LE(wrapped.width(), 1280 / 4 + 40);
    EXPECT_GT(wrapped.height(), hint.BoxSize(QStringLiteral("word"), kScreen).height() * 2);

    hint.SetStyle(hsNoseRect);
    EXPECT_GE(hint.BoxSize(QStringLiteral("i"), kScreen).width(), 46);
    hint.SetStyle(hsNoseRoundRect);
    EXPECT_GE(hint.BoxSize(QStringLiteral("i"), kScreen).width(), 46);
    hint.SetStyle(hsRect);
    const QSize plain = hint.BoxSize(QStringLiteral("Hint"), kScreen);
    hint.SetStyle(hsEllipse);
    const QSize ellipse = hint.BoxSize(QStringLiteral("Hint"), kScreen);
    EXPECT_GT(ellipse.width(), plain.width());
    EXPECT_GT(ellipse.height(), plain.height());
    // A line break in the text, \r\n or a lone \r, is a new line.
    hint.SetStyle(hsRect);
    EXPECT_GT(hint.BoxSize(QStringLiteral("a\r\nb"), kScreen).height(), plain.height());
    EXPECT_GT(hint.BoxSize(QStringLiteral("a\rb"), kScreen).height(), plain.height());
}

TEST(ShapedHint, TakesOverTooltipsThroughTheHook) {
    ShapedHint hint;
    QWidget window;
    window.resize(300, 200);
    auto* control = new QWidget(&window);
    control->setGeometry(100, 100, 50, 20);
    control->setToolTip(QStringLiteral("Подсказка"));
    auto* bare = new QWidget(&window);
    bare->setGeometry(10, 10, 20, 20);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QList<QWidget*> asked;
    bool mayShow = false;
    hint.OnShowHint = [&](QWidget* w) {
        asked.append(w);
        hint.SetColor(Qt::green);
        return mayShow;
    };
    const QPoint global = control->mapToGlobal(QPoint(10, 10));
    QHelpEvent refused(QEvent::ToolTip, QPoint(10, 10), global);
    EXPECT_TRUE(QApplication::sendEvent(control, &refused));
    EXPECT_EQ(asked, QList<QWidget*>{control});
    EXPECT_FALSE(hint.HintWindow()->isVisible());

    mayShow = true;
    QHelpEvent shown(QEvent::ToolTip, QPoint(10, 10), global);
    QApplication::sendEvent(control, &shown);
    ASSERT_TRUE(hint.HintWindow()->isVisible());
    EXPECT_EQ(hint.Control(), control);
    const QRect box = hint.HintWindow()->geometry();
    EXPECT_EQ(box.bottomRight(), global - QPoint(1, 1));
    // The look set by the hook is the one drawn: the body's fill colour.
    const QImage shot = hint.HintWindow()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(4, 2), QColor(Qt::green));
    EXPECT_LT(qGray(shot.pixel(box.width() / 2, 0)), 40);  // the black outline

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(control, &leave);
    EXPECT_FALSE(hint.HintWindow()->isVisible());

    // A press anywhere hides it as well.
    hint.ShowHint(QStringLiteral("x"), global);
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(hint.HintWindow()->isVisible());

    // A control without a hint text asks nothing.
    asked.clear();
    QHelpEvent none(QEvent::ToolTip, QPoint(5, 5), bare->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(bare, &none);
    EXPECT_TRUE(asked.isEmpty());
}
