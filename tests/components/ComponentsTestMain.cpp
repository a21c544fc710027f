// The component tests run on the offscreen platform; the single-instance test
// also starts this binary as the "first copy" of the program (--guard-child).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

#include "support/TestMain.h"
#include "widgets/SingleInstanceGuard.h"

namespace {

int RunGuardChild(int argc, char** argv) {
    QApplication app(argc, argv);
    SingleInstanceGuard guard(QString::fromLocal8Bit(argv[2]));
    if (guard.AlreadyRunning()) {
        std::puts("running");
        return 3;
    }
    QWidget window;
    guard.SetMainWindow(&window);
    window.showMinimized();
    QObject::connect(&guard, &SingleInstanceGuard::Activated, [&] {
        std::printf("activated %s\n", window.isMinimized() ? "minimized" : "normal");
        std::fflush(stdout);
    });
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && QByteArray(argv[1]) == "--guard-child") {
        testsupport::ChooseScreen(testsupport::Screen::Offscreen);
        return RunGuardChild(argc, argv);
    }
    // A private runtime folder, so that the lock tests never meet a real copy
    // of the program; the child processes inherit it.
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    return testsupport::RunTests<QApplication>(argc, argv, testsupport::Screen::Offscreen);
}
