// The tests of the running program use the X server of TARVIK_TEST_DISPLAY;
// without one they skip themselves (and test discovery needs no display).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const QByteArray display = qgetenv("TARVIK_TEST_DISPLAY");
    if (display.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
