// The two fonts of the windows, with the nearest available faces of the same
// pixel heights and Cyrillic glyphs.
#pragma once

#include <QFont>
#include <QStringList>

namespace fonts {

inline QFont SansSerif11() {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("DejaVu Sans")});
    f.setPixelSize(11);
    return f;
}

inline QFont Serif9() {
    QFont f;
    f.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("Liberation Serif"),
                   QStringLiteral("DejaVu Serif")});
    f.setPixelSize(9);
    return f;
}

}  // namespace fonts
