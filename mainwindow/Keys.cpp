// The keys of the main window: F2 … F9 click the toggle buttons of pins 2 … 9,
// as the data-bit keys of the DOS-era port tools did, and F1 opens the help.
// They act while the main window is active; the delay edits take no F-keys,
// so typing there goes on undisturbed.
#include <QShortcut>

#include "mainwindow/Unit1.h"
#include "widgets/GlyphButton.h"

void TForm1::BindKeys() {
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setObjectName(QStringLiteral("keyHelp"));
    connect(help, &QShortcut::activated, this, &TForm1::btnHelpClick);
    for (int p = FirstDataPin; p <= LastDataPin; ++p) {
        auto* key = new QShortcut(QKeySequence(Qt::Key_F1 + (p - 1)), this);
        key->setObjectName(QStringLiteral("keyPin%1").arg(p));
        // Clicked as the user would, so the pin's delay and direction apply.
        GlyphButton* button = btnPoint[p];
        connect(key, &QShortcut::activated, button, &GlyphButton::Click);
    }
}
