// Controls carry an integer tag that the shared handlers use to tell them apart.
#pragma once

#include <QObject>
#include <QVariant>

inline int TagOf(const QObject* control) {
    return control ? control->property("Tag").toInt() : 0;
}

inline void SetTag(QObject* control, int tag) {
    control->setProperty("Tag", tag);
}
