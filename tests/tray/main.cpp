#include <gtest/gtest.h>

#include <clocale>

#include "framework/Application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the binary at build time, where no display may exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Tarvik"));
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
