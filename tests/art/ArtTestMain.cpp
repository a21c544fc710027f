#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv) {
    // The pictures need no screen; this also lets test discovery run headless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
