// Draws the program's icon for the desktop's icon theme with the art generator's
// own drawing, at any size: desktop_icon SIZE FILE.
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include "tools/artgen/Icon.h"

int main(int argc, char** argv) {
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < 16 || size > 1024) {
        std::fputs("usage: desktop_icon SIZE FILE (SIZE 16 ... 1024)\n", stderr);
        return 1;
    }
    if (!artgen::AppIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "desktop_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
