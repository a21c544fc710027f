// The tests on a real X server use the one of TARVIK_TEST_DISPLAY; without one
// they skip themselves (and test discovery needs no display).
#include <QApplication>

#include "support/TestMain.h"

int main(int argc, char** argv) {
    return testsupport::RunTests<QApplication>(argc, argv, testsupport::Screen::TestDisplay);
}
