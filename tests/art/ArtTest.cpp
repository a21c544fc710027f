// The glyph lists, tray pictures and icon: sizes, key colours, clean edges,
// the meaning behind each index, and that the committed files are what the
// generator draws.

#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include "art/Art.h"
#include "tests/art/ArtTestUtil.h"
#include "tools/artgen/ArtSet.h"

using namespace arttest;

namespace {

struct Expected {
    int width;
    int height;
    QRgb key;
};

Expected ButtonGlyphLayout(int i) {
    if (i >= 6 && i <= 9) {
        return {17, 20, kBlue};
    }
    if (i >= 10 && i <= 15) {
        return {17, 20, kRed};
    }
    return {22, 22, kBlue};
}

Expected PinPictureLayout(int i) {
    if (i >= 9 && i <= 15) {
        return {8, 8, kBlue};
    }
    return {16, 16, kLime};
}

std::vector<QImage> AllKeyedPictures() {
    std::vector<QImage> all = {art::MainSkin(), art::SetupShape()};
    for (int i = 0; i < art::ButtonGlyphCount(); ++i) {
        all.push_back(art::ButtonGlyph(i));
    }
    for (int i = 0; i < art::PinPictureCount(); ++i) {
        all.push_back(art::PinPicture(i));
    }
    return all;
}

// Average colour of the non-key pixels within `radius` of the picture's centre.
QRgb CentreColour(const QImage& image, double radius) {
    double r = 0, g = 0, b = 0;
    int n = 0;
    const double cx = image.width() / 2.0;
    const double cy = image.height() / 2.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= radius && !IsKey(image, x, y)) {
                const QRgb c = Px(image, x, y);
                r += qRed(c);
                g += qGreen(c);
                b += qBlue(c);
                ++n;
            }
        }
    }
    return n == 0 ? 0 : qRgb(int(r / n), int(g / n), int(b / n));
}

// Row (of the picture) holding the widest run of blue arrow pixels.
int WidestBlueRow(const QImage& image) {
    int bestRow = -1;
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        int n = 0;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = Px(image, x, y);
            n += (qBlue(c) > 180 && qRed(c) < 60 && qGreen(c) < 90) ? 1 : 0;
        }
        if (n > best) {
            best = n;
            bestRow = y;
        }
    }
    return bestRow;
}

}  // namespace

TEST(ArtLists, CountsSizesAndKeyColours) {
    ASSERT_EQ(art::ButtonGlyphCount(), 18);
    ASSERT_EQ(art::PinPictureCount(), 22);
    ASSERT_EQ(art::TrayPictureCount(), 18);
    for (int i = 0; i < 18; ++i) {
        const QImage g = art::ButtonGlyph(i);
        const Expected e = ButtonGlyphLayout(i);
        ASSERT_FALSE(g.isNull()) << i;
        EXPECT_EQ(g.size(), QSize(e.width, e.height)) << "button glyph " << i;
        EXPECT_EQ(KeyOf(g), e.key) << "button glyph " << i;
        EXPECT_FALSE(g.hasAlphaChannel());
    }
    for (int i = 0; i < 22; ++i) {
        const QImage g = art::PinPicture(i);
        const Expected e = PinPictureLayout(i);
        ASSERT_FALSE(g.isNull()) << i;
        EXPECT_EQ(g.size(), QSize(e.width, e.height)) << "pin picture " << i;
        EXPECT_EQ(KeyOf(g), e.key) << "pin picture " << i;
        // Round pictures: all four corners are transparent.
        EXPECT_TRUE(IsKey(g, 0, 0) && IsKey(g, e.width - 1, 0) &&
                    IsKey(g, e.width - 1, e.height - 1))
            << "pin picture " << i;
    }
    for (int i : {0, 1, 2, 3, 4, 5, 16, 17}) {
        const QImage g = art::ButtonGlyph(i);
        EXPECT_TRUE(IsKey(g, 0, 0) && IsKey(g, 21, 0) && IsKey(g, 21, 21)) << "tile " << i;
        EXPECT_FALSE(IsKey(g, 11, 0) || IsKey(g, 0, 11) || IsKey(g, 11, 21)) << "tile " << i;
    }
    EXPECT_EQ(art::MainSkin().size(), QSize(495, 135));
    EXPECT_EQ(art::SetupShape().size(), QSize(330, 270));
    EXPECT_EQ(KeyOf(art::MainSkin()), kLime);
    EXPECT_EQ(KeyOf(art::SetupShape()), kLime);
}

TEST(ArtLists, IndexOutsideAListGivesNullImage) {
    for (int i : {-1, 18}) {
        EXPECT_TRUE(art::ButtonGlyph(i).isNull());
        EXPECT_TRUE(art::TrayPicture(i).isNull());
    }
    EXPECT_TRUE(art::PinPicture(-1).isNull());
    EXPECT_TRUE(art::PinPicture(22).isNull());
}

// The window shapes and transparent glyphs leave out exactly the key colour, so
// a pixel that is merely close to it would show as a fringe. No picture has one.
TEST(ArtEdges, NoPixelIsNearTheKeyColour) {
    int index = 0;
    for (const QImage& image : AllKeyedPictures()) {
        const QRgb key = KeyOf(image);
        int near = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = Px(image, x, y);
                if (c != key && Distance(c, key) < 120) {
                    ++near;
                }
            }
        }
        EXPECT_EQ(near, 0) << "picture " << index;
        ++index;
    }
}

TEST(ArtMeaning, TilesHaveTheirColoursAndFaces) {
    EXPECT_EQ(Px(art::ButtonGlyph(0), 11, 11), 0xffff0000u);
    EXPECT_EQ(Px(art::ButtonGlyph(3), 11, 11), 0xffffff00u);
    EXPECT_EQ(Px(art::ButtonGlyph(16), 11, 11), 0xffcd0000u);
    EXPECT_EQ(Px(art::ButtonGlyph(17), 11, 11), 0xffcdcd00u);
    auto brightness = [](QRgb c) { return qRed(c) + qGreen(c) + qBlue(c); };
    for (int base : {0, 3}) {
        const QImage raised = art::ButtonGlyph(base);
        const QImage sunken = art::ButtonGlyph(base + 1);
        const QImage hot = art::ButtonGlyph(base + 2);
        EXPECT_GT(brightness(Px(raised, 11, 0)), brightness(Px(raised, 11, 21))) << base;
        EXPECT_LT(brightness(Px(sunken, 11, 0)), brightness(Px(sunken, 11, 21))) << base;
        // The hot face glows white in its centre.
        EXPECT_GT(qBlue(Px(hot, 11, 11)), 180) << base;
        EXPECT_EQ(Px(hot, 11, 2), Px(raised, 11, 2)) << base;
    }
}

TEST(ArtMeaning, QuarterDiscsRoundTheOuterEndsOfThePill) {
    const QImage tray = art::ButtonGlyph(6);
    const QImage dir = art::ButtonGlyph(10);
    // Tray: round towards the upper left, full at the lower right.
    EXPECT_TRUE(IsKey(tray, 0, 0));
    EXPECT_FALSE(IsKey(tray, 16, 0));
    EXPECT_FALSE(IsKey(tray, 16, 19));
    // Direction: round towards the upper right, full at the lower left.
    EXPECT_TRUE(IsKey(dir, 16, 0));
    EXPECT_FALSE(IsKey(dir, 0, 0));
    EXPECT_FALSE(IsKey(dir, 16, 19));
    // Tray states: grey, pale green, bright green, mid green.
    const QRgb grey = CentreColour(art::ButtonGlyph(6), 3);
    EXPECT_LT(std::abs(qRed(grey) - qGreen(grey)), 12);
    for (int i : {7, 8, 9}) {
        const QRgb c = CentreColour(art::ButtonGlyph(i), 3);
        EXPECT_GT(qGreen(c), qRed(c) + 30) << i;
        EXPECT_GT(qGreen(c), qBlue(c) + 30) << i;
    }
    EXPECT_GT(qGreen(CentreColour(art::ButtonGlyph(8), 3)), 200);
}

TEST(ArtMeaning, DirectionFacesShowTheirArrows) {
    // Up faces 10 and 12 and the pressed down face 14 (a preview of the click)
    // point up; 11, 13 and 15 point down.
    const bool up[] = {true, false, true, false, true, false};
    for (int i = 0; i < 6; ++i) {
        const int row = WidestBlueRow(art::ButtonGlyph(10 + i));
        ASSERT_GE(row, 0) << 10 + i;
        EXPECT_EQ(row < 10, up[i]) << "glyph " << 10 + i << " widest arrow row " << row;
    }
    const QRgb lavender = CentreColour(art::ButtonGlyph(12), 2);
    EXPECT_GT(qBlue(lavender), qGreen(lavender) + 20);
}

TEST(ArtMeaning, LampsHaveTheirColours) {
    struct Lamp {
        int index;
        std::function<bool(QRgb)> ok;
    };
    const std::vector<Lamp> lamps = {
        {9, [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80; }},
        {10, [](QRgb c) { return qRed(c) > 150 && qGreen(c) > 140 && qBlue(c) < 80; }},
        {11, [](QRgb c) { return qGreen(c) > 150 && qRed(c) < 90 && qBlue(c) < 90; }},
        {12, [](QRgb c) { return qGreen(c) > 40 && qGreen(c) < 130 && qRed(c) < 40; }},
        {13, [](QRgb c) { return qRed(c) > 150 && qBlue(c) > 150 && qGreen(c) < 90; }},
        {14, [](QRgb c) { return qRed(c) < 130 && qBlue(c) < 130 && qRed(c) > qGreen(c) + 30; }},
        {15,
         [](QRgb c) {
             return std::abs(qRed(c) - qGreen(c)) < 10 && std::abs(qGreen(c) - qBlue(c)) < 12;
         }},
    };
    for (const Lamp& lamp : lamps) {
        const QRgb c = CentreColour(art::PinPicture(lamp.index), 2.5);
        EXPECT_TRUE(lamp.ok(c)) << "lamp " << lamp.index << " colour " << std::hex << c;
    }
}

TEST(ArtMeaning, TitleBallsAreBlueWithRedSymbolsAndThreeShades) {
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20, 21}) {
        const QImage ball = art::PinPicture(i);
        int red = 0;
        int blue = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb c = Px(ball, x, y);
                red += (qRed(c) > 180 && qGreen(c) < 110 && qBlue(c) < 110) ? 1 : 0;
                blue += (qBlue(c) > qRed(c) + 40) ? 1 : 0;
            }
        }
        EXPECT_GE(red, 12) << "ball " << i;
        EXPECT_GE(blue, 100) << "ball " << i;
    }
    // Pressed darker, hot lighter than normal, measured on the ball's lower half.
    auto lower = [](const QImage& ball) {
        int sum = 0;
        for (int x = 4; x < 12; ++x) {
            sum += qBlue(Px(ball, x, 13));
        }
        return sum;
    };
    for (int base : {0, 3, 6, 16, 19}) {
        EXPECT_LT(lower(art::PinPicture(base + 1)), lower(art::PinPicture(base))) << base;
        EXPECT_GT(lower(art::PinPicture(base + 2)), lower(art::PinPicture(base))) << base;
    }
}

TEST(ArtMeaning, TrayPicturesAreMaskedDiscsWithDigits) {
    for (int i = 0; i < 18; ++i) {
        const QImage t = art::TrayPicture(i);
        ASSERT_EQ(t.size(), QSize(16, 16)) << i;
        ASSERT_TRUE(t.hasAlphaChannel());
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int a = qAlpha(t.pixel(x, y));
                EXPECT_TRUE(a == 0 || a == 255) << "picture " << i << " at " << x << "," << y;
            }
        }
        EXPECT_EQ(qAlpha(t.pixel(0, 0)), 0) << i;
    }
    for (int pin = 2; pin <= 9; ++pin) {
        const QImage yellow = art::TrayPicture(2 * pin - 2);
        const QImage red = art::TrayPicture(2 * pin - 1);
        // Sample the disc's left side, which no digit covers.
        const QRgb y = yellow.pixel(2, 8);
        const QRgb r = red.pixel(2, 8);
        EXPECT_TRUE(qRed(y) > 180 && qGreen(y) > 150 && qBlue(y) < 90) << pin;
        EXPECT_TRUE(qRed(r) > 180 && qGreen(r) < 90) << pin;
        // Same digit on both discs: the black pixels coincide.
        for (int yy = 0; yy < 16; ++yy) {
            for (int x = 0; x < 16; ++x) {
                const bool by = (yellow.pixel(x, yy) & 0xffffffu) == 0;
                const bool br = (red.pixel(x, yy) & 0xffffffu) == 0;
                EXPECT_EQ(by, br) << pin << " at " << x << "," << yy;
            }
        }
        if (pin > 2) {
            EXPECT_NE(yellow, art::TrayPicture(2 * pin - 4)) << "digits " << pin;
        }
    }
    EXPECT_NE(art::TrayPicture(0), art::TrayPicture(1));
}

// Dense screens and StatusNotifierItem panels get pictures drawn at their size:
// the same discs and digits, sharp rather than the 16-pixel picture blown up.
TEST(ArtMeaning, TrayPicturesComeInLargerSizesDrawnSharp) {
    auto black = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                n += qAlpha(c) == 255 && qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40;
            }
        }
        return n;
    };
    for (int size : art::LargeTraySizes()) {
        SCOPED_TRACE(size);
        const double area = double(size * size) / (16 * 16);
        for (int i = 0; i < art::TrayPictureCount(); ++i) {
            const QImage t = art::TrayPicture(i, size);
            ASSERT_EQ(t.size(), QSize(size, size)) << i;
            EXPECT_EQ(qAlpha(t.pixel(0, 0)), 0) << i;
            // The digit's strokes stay solid black, in proportion to the small picture's.
            EXPECT_GE(black(t), 0.6 * area * black(art::TrayPicture(i))) << i;
        }
        for (int pin = 2; pin <= 9; ++pin) {
            const QRgb y = art::TrayPicture(2 * pin - 2, size).pixel(size / 8, size / 2);
            const QRgb r = art::TrayPicture(2 * pin - 1, size).pixel(size / 8, size / 2);
            EXPECT_TRUE(qRed(y) > 180 && qGreen(y) > 150 && qBlue(y) < 90) << pin;
            EXPECT_TRUE(qRed(r) > 180 && qGreen(r) < 90) << pin;
        }
    }
    EXPECT_EQ(art::TrayIcon(9).availableSizes(),
              (QList<QSize>{{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}}));
}

TEST(ArtIcon, ComesInFourSizes) {
    const QIcon icon = art::AppIcon();
    EXPECT_FALSE(icon.isNull());
    for (int size : {16, 32, 48, 64}) {
        const QImage image = art::AppIconImage(size);
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(size - 1, 0)), 0) << size;
        // The arrows overlap on the diagonal: the middle is (nearly) opaque.
        int middle = 0;
        for (int d = -1; d <= 1; ++d) {
            middle = std::max(middle, qAlpha(image.pixel(size / 2 + d, size / 2 + d)));
        }
        EXPECT_GE(middle, 200) << size;
    }
}

// The largest difference of one colour channel between two pictures of one size.
// Qt's antialiasing differs in the last bit or two between the SIMD paths of
// different processors, so the committed pictures are compared with that slack.
int ChannelDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q),
                          qAlpha(p) - qAlpha(q)}) {
                worst = std::max(worst, std::abs(d));
            }
        }
    }
    return worst;
}
constexpr int kAntialiasSlack = 3;

// The committed pictures are what the generator draws now, and every generated
// picture is embedded.
TEST(ArtCommitted, MatchesTheGenerator) {
    art::InitResources();
    for (const artgen::ArtFile& file : artgen::ArtFiles()) {
        const QImage committed(QStringLiteral(":/art/") + file.path);
        ASSERT_FALSE(committed.isNull()) << file.path.toStdString() << " is not embedded";
        const QImage::Format f =
            file.image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        ASSERT_EQ(committed.size(), file.image.size()) << file.path.toStdString();
        EXPECT_LE(ChannelDifference(committed.convertToFormat(f), file.image.convertToFormat(f)),
                  kAntialiasSlack)
            << file.path.toStdString() << " differs from artgen's drawing";
    }
    QFile ico(QStringLiteral(TARVIK_SOURCE_DIR "/art/") + QLatin1String(artgen::kIcoName));
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    const QByteArray bytes = ico.readAll();
    const QByteArray drawn = artgen::IcoContents();
    ASSERT_EQ(bytes.size(), drawn.size());
    // Directory and bitmap headers exactly; the pixel bytes with the same slack.
    int worst = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        worst = std::max(worst, std::abs(int(quint8(bytes[i])) - int(quint8(drawn[i]))));
    }
    EXPECT_LE(worst, kAntialiasSlack);
    EXPECT_EQ(bytes.left(6 + 3 * 16 + 40), drawn.left(6 + 3 * 16 + 40));
    // Header: three 32-bit entries of 16, 32 and 48 pixels.
    ASSERT_GE(bytes.size(), 6 + 3 * 16);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[4], 3);
    EXPECT_EQ(int(quint8(bytes[6])), 16);
    EXPECT_EQ(int(quint8(bytes[22])), 32);
    EXPECT_EQ(int(quint8(bytes[38])), 48);
}
