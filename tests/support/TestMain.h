// How every Qt test binary starts: the platform is chosen before the application
// exists, then GoogleTest runs.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <utility>

namespace testsupport {

enum class Screen {
    // The offscreen platform, unless the environment names one (test discovery
    // runs the binaries at build time, where no display may exist).
    Offscreen,
    // The X server of TARVIK_TEST_DISPLAY; without one the tests run offscreen
    // and skip themselves.
    TestDisplay,
};

inline void ChooseScreen(Screen screen) {
    const QByteArray display = qgetenv("TARVIK_TEST_DISPLAY");
    if (screen == Screen::TestDisplay && !display.isEmpty()) {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
        // A desktop's D-Bus tray would take the icons away from the XEmbed tray host.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    } else if (screen == Screen::TestDisplay || qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

// Runs every test inside an application of the given kind; prepare sees the
// application before the first test.
template <class App, class Prepare>
int RunTests(int argc, char** argv, Screen screen, Prepare&& prepare) {
    ::testing::InitGoogleTest(&argc, argv);
    ChooseScreen(screen);
    App app(argc, argv);
    std::forward<Prepare>(prepare)(app);
    return RUN_ALL_TESTS();
}

template <class App>
int RunTests(int argc, char** argv, Screen screen) {
    return RunTests<App>(argc, argv, screen, [](App&) {});
}

}  // namespace testsupport
