// The control and picture tests: a QApplication on the offscreen platform.
#include <QApplication>

#include "support/TestMain.h"

int main(int argc, char** argv) {
    return testsupport::RunTests<QApplication>(argc, argv, testsupport::Screen::Offscreen);
}
