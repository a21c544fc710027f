#include "SettingsSupport.h"

QString Local(const char* text) {
    const char* point = std::localeconv()->decimal_point;
    QString out = QString::fromLatin1(text);
    if (point != nullptr && *point == ',') {
        out.replace(u'.', u',');
    }
    return out;
}

QStringList ErrorTexts(const WindowHarness& h) {
    QStringList out;
    for (const Box& b : h.boxes) {
        if (b.kind == TApplication::BoxKind::Error) {
            out << b.text;
        }
    }
    return out;
}
