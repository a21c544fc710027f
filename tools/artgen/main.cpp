// artgen: draws the program's pictures and writes them as PNG files.
//
//   artgen [--sheet FILE] [FOLDER]
//
// FOLDER receives the art files (normally art/ of the source tree); FILE an
// enlarged overview sheet of every glyph list, lamp and picture.

#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

#include "tools/artgen/ArtSet.h"
#include "tools/artgen/Sheet.h"

int main(int argc, char* argv[]) {
    // The tool needs fonts for the sheet's labels but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = QGuiApplication::arguments();
    args.removeFirst();
    QString sheet;
    QString folder;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--sheet") && !args.isEmpty()) {
            sheet = args.takeFirst();
        } else if (!arg.startsWith(QLatin1Char('-')) && folder.isEmpty()) {
            folder = arg;
        } else {
            folder.clear();
            sheet.clear();
            break;
        }
    }
    if (folder.isEmpty() && sheet.isEmpty()) {
        err << "usage: artgen [--sheet FILE] [FOLDER]\n";
        return 2;
    }
    if (!folder.isEmpty()) {
        QString error;
        if (!artgen::WriteArt(folder, &error)) {
            err << error << '\n';
            return 1;
        }
    }
    if (!sheet.isEmpty() && !artgen::ArtSheet().save(sheet, "PNG")) {
        err << "cannot write " << sheet << '\n';
        return 1;
    }
    return 0;
}
