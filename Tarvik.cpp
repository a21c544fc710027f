// Program entry: the setup window is created first and so is the main form; then
// the main window, whose creation handler brings the program up; then the loop.
#include <cstdio>
#include <cstring>

#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/DisplayServer.h"

namespace {

const char* const UsageText =
    "Usage: tarvik [--version] [--help] [Qt options: -platform NAME, -display DISPLAY ...]\n"
    "\n"
    "Drives the eight data lines (pins 2-9) of a PC parallel port by hand and shows\n"
    "its control and status lines. On Linux it talks to the port agent lptwdmio, and\n"
    "starts the one beside it when none runs. See tarvik(1) and lptwdmio(1).\n"
    "\n"
    "  --version   print the version and exit\n"
    "  --help      print this text and exit\n";

// Answered before any window or display is opened, so they work on a console.
bool AnswerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarvik %s\n", TARVIK_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(UsageText, stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswerCommandLine(argc, argv)) {
        return 0;
    }
    PreferX11InWaylandSession();
    TApplication app(argc, argv);
    RestorePlatformChoice();
    app.SetTitle(QStringLiteral("Tarvik"));
    auto setup = std::make_unique<TFrmSetup>();
    auto main = std::make_unique<TForm1>();
    const int code = app.Run();
    main.reset();  // its destroy handler releases the port before the setup window goes
    setup.reset();
    return code;
}
