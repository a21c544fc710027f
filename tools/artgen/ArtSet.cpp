#include "tools/artgen/ArtSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tools/artgen/Glyphs.h"
#include "tools/artgen/Icon.h"
#include "tools/artgen/Skins.h"
#include "tools/artgen/TrayArt.h"

namespace artgen {

namespace {

void AddList(std::vector<ArtFile>& files, const QString& folder, const std::vector<QImage>& list) {
    for (size_t i = 0; i < list.size(); ++i) {
        files.push_back(
            {QStringLiteral("%1/%2.png").arg(folder).arg(i, 2, 10, QChar('0')), list[i]});
    }
}

}  // namespace

std::vector<ArtFile> ArtFiles() {
    std::vector<ArtFile> files;
    files.push_back({QStringLiteral("main_skin.png"), MainSkin()});
    files.push_back({QStringLiteral("setup_shape.png"), SetupShape()});
    AddList(files, QStringLiteral("button_glyphs"), ButtonGlyphImages());
    AddList(files, QStringLiteral("pin_pictures"), PinPictureImages());
    AddList(files, QStringLiteral("tray"), TrayPictureImages());
    for (int size : LargeTraySizes()) {
        AddList(files, QStringLiteral("tray/%1").arg(size), TrayPictureImages(size));
    }
    files.push_back({QStringLiteral("tarvik.png"), AppIcon(32)});
    for (int size : {16, 48, 64}) {
        files.push_back({QStringLiteral("tarvik_%1.png").arg(size), AppIcon(size)});
    }
    return files;
}

QByteArray IcoContents() {
    return IcoFile({AppIcon(16), AppIcon(32), AppIcon(48)});
}

bool WriteArt(const QString& folder, QString* error) {
    const QDir dir(folder);
    for (const ArtFile& file : ArtFiles()) {
        const QString path = dir.filePath(file.path);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.image.save(path, "PNG")) {
            *error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
    }
    QFile ico(dir.filePath(QString::fromLatin1(kIcoName)));
    if (!ico.open(QIODevice::WriteOnly) || ico.write(IcoContents()) < 0) {
        *error = QStringLiteral("cannot write %1").arg(ico.fileName());
        return false;
    }
    return true;
}

}  // namespace artgen
