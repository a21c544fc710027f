// The window shapes: the skin and the setup shape must keep the outline and the
// white places that the controls sit on, pixel for pixel.

#include <gtest/gtest.h>

#include <QRect>

#include <queue>
#include <vector>

#include "art/Art.h"
#include "tests/art/ArtTestUtil.h"

using namespace arttest;

namespace {

bool IsWhite(const QImage& image, int x, int y) {
    return Px(image, x, y) == kWhite;
}

// Bounding box of the white pixels inside `area`.
QRect WhiteBox(const QImage& image, QRect area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (IsWhite(image, x, y)) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

// True when no pixel of `rect` is key colour, except within `corner` pixels of
// the corners named in `rounded` (bits: 1 top-left, 2 top-right, 4 bottom-right,
// 8 bottom-left).
bool SolidExceptCorners(const QImage& image, QRect rect, int corner, int rounded) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const bool left = x < rect.left() + corner;
            const bool right = x > rect.right() - corner;
            const bool top = y < rect.top() + corner;
            const bool bottom = y > rect.bottom() - corner;
            if (((rounded & 1) && left && top) || ((rounded & 2) && right && top) ||
                ((rounded & 4) && right && bottom) || ((rounded & 8) && left && bottom)) {
                continue;
            }
            if (IsKey(image, x, y)) {
                ADD_FAILURE() << "key colour at " << x << "," << y;
                return false;
            }
        }
    }
    return true;
}

int KeyComponents(const QImage& image, bool key) {
    const int w = image.width();
    const int h = image.height();
    std::vector<char> seen(size_t(w * h), 0);
    int parts = 0;
    for (int sy = 0; sy < h; ++sy) {
        for (int sx = 0; sx < w; ++sx) {
            if (seen[size_t(sy * w + sx)] || IsKey(image, sx, sy) != key) {
                continue;
            }
            ++parts;
            std::queue<QPoint> todo;
            todo.push({sx, sy});
            seen[size_t(sy * w + sx)] = 1;
            while (!todo.empty()) {
                const QPoint p = todo.front();
                todo.pop();
                for (QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint q = p + d;
                    if (q.x() < 0 || q.y() < 0 || q.x() >= w || q.y() >= h ||
                        seen[size_t(q.y() * w + q.x())] || IsKey(image, q.x(), q.y()) != key) {
                        continue;
                    }
                    seen[size_t(q.y() * w + q.x())] = 1;
                    todo.push(q);
                }
            }
        }
    }
    return parts;
}

// The pixels of the disc of 16 x 16 at (left, top): white well inside, not
// white in the box's corners, and the white extent exactly the box.
void ExpectWhiteDisc(const QImage& image, int left, int top) {
    const QRect box(left, top, 16, 16);
    EXPECT_EQ(WhiteBox(image, box.adjusted(-3, -3, 3, 3)), box) << left << "," << top;
    for (int y = top; y < top + 16; ++y) {
        for (int x = left; x < left + 16; ++x) {
            if (std::hypot(x + 0.5 - (left + 8), y + 0.5 - (top + 8)) <= 7.5) {
                EXPECT_TRUE(IsWhite(image, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(IsWhite(image, left, top));
    EXPECT_FALSE(IsWhite(image, left + 15, top + 15));
}

}  // namespace

TEST(MainSkinShape, OutlineOfTabBodyAndShoulder) {
    const QImage skin = art::MainSkin();
    EXPECT_TRUE(SolidExceptCorners(skin, QRect(414, 0, 81, 35), 9, 1 | 2));
    EXPECT_TRUE(SolidExceptCorners(skin, QRect(0, 35, 495, 60), 8, 4 | 8));
    EXPECT_TRUE(SolidExceptCorners(skin, QRect(0, 28, 93, 7), 7, 1 | 2));
    // Above the body and left of the tab there is nothing of the window.
    for (int y = 0; y < 35; ++y) {
        for (int x = 0; x < 414; ++x) {
            const bool shoulder = y >= 28 && x <= 92;
            if (!shoulder) {
                ASSERT_TRUE(IsKey(skin, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(IsKey(skin, 414, 34));
    EXPECT_FALSE(IsKey(skin, 454, 0));
    EXPECT_TRUE(IsKey(skin, 413, 34));
    EXPECT_TRUE(IsKey(skin, 93, 28));
    EXPECT_FALSE(IsKey(skin, 46, 28));
    // Rounded corners: the outermost corner pixels are cut away.
    for (QPoint p :
         {QPoint(414, 0), QPoint(494, 0), QPoint(0, 28), QPoint(0, 94), QPoint(494, 94)}) {
        EXPECT_TRUE(IsKey(skin, p.x(), p.y())) << p.x() << "," << p.y();
    }
}

TEST(MainSkinShape, ConnectorIsACentredTrapezoid) {
    const QImage skin = art::MainSkin();
    int previousLeft = 0;
    int previousRight = 1000;
    for (int y = 95; y <= 134; ++y) {
        // Exactly one run of window pixels per row.
        int left = -1;
        int right = -1;
        int runs = 0;
        for (int x = 0; x < 495; ++x) {
            const bool in = !IsKey(skin, x, y);
            if (in && (x == 0 || IsKey(skin, x - 1, y))) {
                ++runs;
                left = x;
            }
            if (in) {
                right = x;
            }
        }
        ASSERT_EQ(runs, 1) << "row " << y;
        const double t = (y - 95) / 39.0;
        EXPECT_NEAR(left, 154 + 25 * t, 1.0) << "row " << y;
        EXPECT_NEAR(right, 340 - 24 * t, 1.0) << "row " << y;
        EXPECT_GE(left, previousLeft);
        EXPECT_LE(right, previousRight);
        previousLeft = left;
        previousRight = right;
        if (y == 95) {
            EXPECT_EQ(left, 154);
            EXPECT_EQ(right, 340);
        }
        if (y == 134) {
            EXPECT_EQ(left, 179);
            EXPECT_EQ(right, 316);
        }
    }
}

TEST(MainSkinShape, WindowIsOnePieceAndKeyAreasAreOutside) {
    const QImage skin = art::MainSkin();
    EXPECT_EQ(KeyComponents(skin, false), 1);
    // Beside the connector, below the body.
    EXPECT_TRUE(IsKey(skin, 100, 120));
    EXPECT_TRUE(IsKey(skin, 400, 100));
}

TEST(MainSkinShape, WhitePlacesOfTheControls) {
    const QImage skin = art::MainSkin();
    for (int left : {423, 447, 471}) {
        ExpectWhiteDisc(skin, left, 5);
    }
    for (int k = 0; k < 8; ++k) {
        const int x = 10 + 60 * k;
        // Arch: a half dome of 56 x 22, flat and full along its bottom row.
        EXPECT_EQ(WhiteBox(skin, QRect(x - 3, 38, 62, 30)), QRect(x, 42, 56, 22)) << k;
        for (int i = 0; i < 56; ++i) {
            EXPECT_TRUE(IsWhite(skin, x + i, 63)) << k << " " << i;
        }
        EXPECT_TRUE(IsWhite(skin, x + 28, 42));
        EXPECT_FALSE(IsWhite(skin, x, 42));
        EXPECT_FALSE(IsWhite(skin, x + 55, 42));
        // Slot: a white rectangle of 51 x 15 with no white around it.
        const QRect slot(12 + 60 * k, 70, 51, 15);
        EXPECT_EQ(WhiteBox(skin, slot.adjusted(-2, -2, 2, 2)), slot) << k;
        for (int y = slot.top(); y <= slot.bottom(); ++y) {
            for (int sx = slot.left(); sx <= slot.right(); ++sx) {
                ASSERT_TRUE(IsWhite(skin, sx, y)) << sx << "," << y;
            }
        }
    }
    std::vector<QRect> holes;
    for (int i = 0; i < 13; ++i) {
        holes.emplace_back(177 + 11 * i, 102, 8, 8);
    }
    for (int i = 0; i < 12; ++i) {
        holes.emplace_back(183 + 11 * i, 115, 8, 8);
    }
    for (const QRect& hole : holes) {
        EXPECT_EQ(WhiteBox(skin, hole.adjusted(-2, -2, 2, 2)), hole)
            << hole.left() << "," << hole.top();
        for (int y = hole.top(); y <= hole.bottom(); ++y) {
            for (int x = hole.left(); x <= hole.right(); ++x) {
                ASSERT_TRUE(IsWhite(skin, x, y)) << x << "," << y;
            }
        }
    }
}

TEST(MainSkinShape, BodyIsNavy) {
    const QImage skin = art::MainSkin();
    EXPECT_EQ(Px(skin, 250, 90), 0xff2e3192u);
    EXPECT_EQ(Px(skin, 40, 38), 0xff2e3192u);
    EXPECT_EQ(Px(skin, 454, 28), 0xff2e3192u);
}

TEST(SetupShapeOutline, TabAndBody) {
    const QImage shape = art::SetupShape();
    EXPECT_TRUE(SolidExceptCorners(shape, QRect(0, 17, 330, 253), 9, 1 | 2 | 4 | 8));
    EXPECT_TRUE(SolidExceptCorners(shape, QRect(278, 0, 32, 17), 14, 1 | 2));
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 330; ++x) {
            if (x < 278 || x > 309) {
                ASSERT_TRUE(IsKey(shape, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(IsKey(shape, 278, 0));
    EXPECT_TRUE(IsKey(shape, 309, 0));
    EXPECT_FALSE(IsKey(shape, 294, 0));
    EXPECT_EQ(KeyComponents(shape, false), 1);
    ExpectWhiteDisc(shape, 286, 5);
    // Navy frame, lavender at the top of the inside, mid blue at the bottom.
    EXPECT_EQ(Px(shape, 150, 19), 0xff2e3192u);
    EXPECT_LT(Distance(Px(shape, 150, 23), 0xffeaebf9u), 6);
    EXPECT_LT(Distance(Px(shape, 150, 264), 0xff696dd6u), 6);
}
