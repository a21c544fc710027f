#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

// The program's pictures. Glyph bitmaps and skins are 24-bit pictures whose
// bottom-left pixel is the transparent (key) colour; the tray pictures carry an
// alpha mask. An index outside a list gives a null image.
namespace art {

// Registers the embedded files under ":/art/" (the accessors do it themselves);
// needed only by code that opens those paths directly.
void InitResources();

// 495 x 135 skin of the main window, lime key.
QImage MainSkin();
// 330 x 270 shape picture of the setup window, lime key.
QImage SetupShape();

// Channel button glyphs (18): 0-2 red tile normal/pressed/hot, 3-5 yellow tile
// normal/pressed/hot, 6-9 tray button normal/pressed/latched/hot, 10-12
// direction up normal/pressed/hot, 13-15 direction down normal/pressed/hot,
// 16 red and 17 yellow tile disabled.
QImage ButtonGlyph(int index);
int ButtonGlyphCount();

// Title button, lamp and setup button pictures (22): 0-2 help, 3-5 hide, 6-8
// close (normal/pressed/hot), 9 red, 10 yellow, 11 bright green, 12 dark green,
// 13 magenta, 14 dark purple, 15 grey lamp, 16-18 triangle up, 19-21 triangle
// down (normal/pressed/hot).
QImage PinPicture(int index);
int PinPictureCount();

// Notification-area pictures (18), 16 x 16 with alpha: 0 and 1 arrows up and
// down; for data pin p, 2p-2 a yellow (level 0) and 2p-1 a red (level 1) disc
// with the digit p.
QImage TrayPicture(int index);
int TrayPictureCount();
// The same pictures drawn larger for dense screens and panels: 22, 24, 32, 48.
const QList<int>& LargeTraySizes();
QImage TrayPicture(int index, int size);
// A tray picture in every size, so that a tray host picks a sharp one.
QIcon TrayIcon(int index);

// The program's icon at 16, 32, 48 and 64 pixels (needs a QGuiApplication).
QIcon AppIcon();
// The icon's picture at one of those sizes (32 otherwise).
QImage AppIconImage(int size = 32);

}  // namespace art
