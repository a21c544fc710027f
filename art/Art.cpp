#include "art/Art.h"

#include <QPixmap>
#include <QString>

#include <mutex>

// Resources compiled into a static library are registered only when asked for;
// the macro must be used outside any namespace.
static void InitArtResources() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(art); });
}

namespace art {

void InitResources() {
    InitArtResources();
}

namespace {

constexpr int kButtonGlyphs = 18;
constexpr int kPinPictures = 22;
constexpr int kTrayPictures = 18;

QImage Load(const QString& path, QImage::Format format) {
    InitArtResources();
    QImage image(path);
    return image.isNull() ? image : image.convertToFormat(format);
}

QImage FromList(const char* folder, int index, int count, QImage::Format format) {
    if (index < 0 || index >= count) {
        return {};
    }
    return Load(
        QStringLiteral(":/art/%1/%2.png").arg(QLatin1String(folder)).arg(index, 2, 10, QChar('0')),
        format);
}

}  // namespace

QImage MainSkin() {
    return Load(QStringLiteral(":/art/main_skin.png"), QImage::Format_RGB32);
}

QImage SetupShape() {
    return Load(QStringLiteral(":/art/setup_shape.png"), QImage::Format_RGB32);
}

QImage ButtonGlyph(int index) {
    return FromList("button_glyphs", index, kButtonGlyphs, QImage::Format_RGB32);
}

int ButtonGlyphCount() {
    return kButtonGlyphs;
}

QImage PinPicture(int index) {
    return FromList("pin_pictures", index, kPinPictures, QImage::Format_RGB32);
}

int PinPictureCount() {
    return kPinPictures;
}

QImage TrayPicture(int index) {
    return FromList("tray", index, kTrayPictures, QImage::Format_ARGB32);
}

int TrayPictureCount() {
    return kTrayPictures;
}

const QList<int>& LargeTraySizes() {
    static const QList<int> sizes = {22, 24, 32, 48};
    return sizes;
}

QImage TrayPicture(int index, int size) {
    if (size == 16) {
        return TrayPicture(index);
    }
    if (!LargeTraySizes().contains(size)) {
        return {};
    }
    return FromList(QStringLiteral("tray/%1").arg(size).toLatin1().constData(), index,
                    kTrayPictures, QImage::Format_ARGB32);
}

QIcon TrayIcon(int index) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(TrayPicture(index)));
    for (int size : LargeTraySizes()) {
        icon.addPixmap(QPixmap::fromImage(TrayPicture(index, size)));
    }
    return icon;
}

QImage AppIconImage(int size) {
    switch (size) {
        case 16:
        case 48:
        case 64:
            return Load(QStringLiteral(":/art/tarvik_%1.png").arg(size), QImage::Format_ARGB32);
        default:
            return Load(QStringLiteral(":/art/tarvik.png"), QImage::Format_ARGB32);
    }
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    }
    return icon;
}

}  // namespace art
