// The window tests: the program's own application object with its title, and the
// C numeric locale unless a test chooses another.
#include <clocale>

#include "framework/Application.h"
#include "support/TestMain.h"

int main(int argc, char** argv) {
    return testsupport::RunTests<TApplication>(argc, argv, testsupport::Screen::Offscreen,
                                               [](TApplication& app) {
                                                   app.SetTitle(QStringLiteral("Tarvik"));
                                                   std::setlocale(LC_NUMERIC, "C");
                                               });
}
