// The notification-area icon without a tray host: picture index rules, the
// mouse-up report, and the hide-instead-of-close and minimise rules.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "widgets/NotifyIcon.h"

namespace {

QIcon Disc(QColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

class Owner : public QWidget {
public:
    int closes = 0;
    int hides = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        ++closes;
        QWidget::closeEvent(e);
    }
    void hideEvent(QHideEvent* e) override {
        ++hides;
        QWidget::hideEvent(e);
    }
};

// What the window system's close request does: a close event to the native
// window, which Qt passes on to the widget as a spontaneous one.
void SystemClose(QWidget& w) {
    QCloseEvent e;
    QCoreApplication::sendEvent(w.windowHandle(), &e);
}

}  // namespace

TEST(NotifyIcon, PictureIndexChangesOnlyToADifferentIndexWithinTheList) {
    Owner owner;
    owner.setWindowIcon(Disc(Qt::blue));
    NotifyIcon icon(&owner);
    // Without pictures the owner's icon stands in.
    EXPECT_EQ(icon.CurrentIcon().cacheKey(), owner.windowIcon().cacheKey());

    const QList<QIcon> pictures = {Disc(Qt::yellow), Disc(Qt::red), Disc(Qt::green)};
    icon.SetPictures(pictures);
    EXPECT_EQ(icon.CurrentIcon().cacheKey(), pictures[0].cacheKey());
    icon.SetPictureIndex(2);
    EXPECT_EQ(icon.PictureIndex(), 2);
    EXPECT_EQ(icon.CurrentIcon().cacheKey(), pictures[2].cacheKey());
    icon.SetPictureIndex(3);
    icon.SetPictureIndex(-1);
    EXPECT_EQ(icon.PictureIndex(), 2);
    EXPECT_EQ(icon.CurrentIcon().cacheKey(), pictures[2].cacheKey());

    icon.SetHint(QString(80, QLatin1Char('h')));
    EXPECT_EQ(icon.Hint().size(), 63);
}

TEST(NotifyIcon, ReportsMouseUpForLeftRightAndMiddleOnly) {
    Owner owner;
    NotifyIcon icon(&owner);
    QSignalSpy up(&icon, &NotifyIcon::MouseUp);
    Q_EMIT icon.TrayIcon().activated(QSystemTrayIcon::Trigger);
    Q_EMIT icon.TrayIcon().activated(QSystemTrayIcon::Context);
    Q_EMIT icon.TrayIcon().activated(QSystemTrayIcon::MiddleClick);
    Q_EMIT icon.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
    ASSERT_EQ(up.count(), 3);
    EXPECT_EQ(up[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(up[1][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(up[2][0].value<Qt::MouseButton>(), Qt::MiddleButton);
}

TEST(NotifyIcon, SystemCloseHidesButTheProgramsOwnCloseCloses) {
    Owner owner;
    NotifyIcon icon(&owner);
    icon.SetAvailabilityProbe([] { return true; });
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    // Through the window system, as Alt+F4 arrives.
    SystemClose(owner);
    EXPECT_FALSE(owner.isVisible());
    EXPECT_EQ(owner.hides, 1);
    EXPECT_EQ(owner.closes, 0);

    owner.show();
    EXPECT_TRUE(owner.close());
    EXPECT_EQ(owner.closes, 1);

    // With the rule off, the system's request closes too.
    icon.SetHideOnClose(false);
    owner.show();
    SystemClose(owner);
    EXPECT_EQ(owner.closes, 2);
}

TEST(NotifyIcon, MinimiseKeepsTheOwnerCountedAsShown) {
    Owner owner;
    NotifyIcon icon(&owner);
    icon.SetAvailabilityProbe([] { return true; });
    QSignalSpy withdrawn(&icon, &NotifyIcon::OwnerWithdrawn);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    owner.setWindowState(Qt::WindowMinimized);
    QTest::qWait(20);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_EQ(owner.hides, 0);
    // Back to normal, so that showing it again shows it on the screen.
    EXPECT_FALSE(owner.isMinimized());
    EXPECT_EQ(withdrawn.count(), 1);
}

// Without a tray there is nowhere to put the window away: a close request from
// the system minimises it and a minimise stays one, so the window stays in the
// task bar. The rules come back with a tray host, and the change is told.
TEST(NotifyIcon, WithoutATrayTheWindowStaysReachable) {
    Owner owner;
    NotifyIcon icon(&owner);
    bool host = false;
    icon.SetAvailabilityProbe([&] { return host; });
    EXPECT_FALSE(icon.Available());
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    SystemClose(owner);
    EXPECT_TRUE(owner.isVisible());
    EXPECT_TRUE(owner.isMinimized());
    EXPECT_EQ(owner.closes, 0);
    owner.showNormal();
    owner.setWindowState(Qt::WindowMinimized);
    QTest::qWait(20);
    EXPECT_TRUE(owner.isMinimized()) << "not withdrawn";
    owner.showNormal();

    QSignalSpy changed(&icon, &NotifyIcon::AvailabilityChanged);
    host = true;
    ASSERT_TRUE(changed.wait(3 * NotifyIcon::kWatchIntervalMs)) << "followed while running";
    EXPECT_TRUE(changed.last()[0].toBool());
    SystemClose(owner);
    EXPECT_FALSE(owner.isVisible()) << "into the tray";
}
