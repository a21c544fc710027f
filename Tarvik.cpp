// Program entry: the setup window is created first and so is the main form; then
// the main window, whose creation handler brings the program up; then the loop.
#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/DisplayServer.h"

int main(int argc, char** argv) {
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
