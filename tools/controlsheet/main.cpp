// Draws one of each control kind over a flat picture, as on the setup window, and
// saves controls.png and controls_x3.png (enlarged three times) into the folder
// given, for a look by eye after a change to the controls' drawing:
//
//     build/bin/controlsheet /tmp/controls
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <cstdio>

#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GlyphList.h"
#include "widgets/GradientPanel.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentGroupBox.h"
#include "widgets/TransparentLabel.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

// Stands for the setup window's picture: one flat colour.
class Picture : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(200, 100, 50));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: controlsheet FOLDER\n");
        return 1;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "controlsheet: cannot make %s\n", argv[1]);
        return 1;
    }
    Picture window;
    window.resize(330, 270);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    window.setPalette(palette);
    QFont font = window.font();
    font.setPixelSize(11);
    window.setFont(font);

    GlyphList list;
    for (QColor c : {QColor(255, 0, 0), QColor(180, 0, 0), QColor(255, 120, 120)}) {
        QImage tile(22, 22, QImage::Format_RGB32);
        tile.fill(Qt::blue);
        QPainter(&tile).fillRect(1, 1, 20, 20, c);
        list.Add(tile);
    }
    auto* button = new GlyphButton(&window);
    button->SetGlyphList(&list);
    button->SetStateGlyph(0, 0);
    button->SetStateGlyph(4, 1);
    button->SetCaption("5");
    button->SetShowCaption(true);
    button->move(10, 5);
    auto* label = new TransparentLabel(&window);
    label->setGeometry(216, 32, 93, 27);
    label->SetCaption("Верх.граница \rпанели настройки");
    auto* group = new TransparentRadioGroup(&window);
    group->setGeometry(18, 26, 295, 65);
    group->SetCaption("При старте программы");
    group->SetItems({"Текущее состояние", "Все в ноль", "Все в единицу"});
    group->SetItemIndex(0);
    auto* top = new RangeSpinEdit(&window);
    top->setGeometry(167, 37, 47, 21);
    top->SetMinimum(-100);
    top->SetValue(-32);
    auto* box = new TransparentGroupBox(&window);
    box->setGeometry(17, 93, 297, 102);
    box->SetCaption("Разное");
    auto* check = new TransparentCheckBox(box);
    check->setGeometry(8, 13, 249, 17);
    check->SetText("Предустановка направления включения");
    check->SetChecked(true);
    auto* panel = new GradientPanel(box);
    panel->setGeometry(8, 40, 52, 15);
    auto* spin = new FloatSpinEdit(panel);
    spin->setGeometry(0, 0, 52, 15);
    spin->SetTransparent(true);
    QFont small = font;
    small.setPixelSize(9);
    spin->SetEditFont(small);
    spin->SetMaximum(6000);
    spin->SetValue(12.5);
    auto* bitmap = new BitmapButton(&window);
    QImage ball(16, 16, QImage::Format_RGB32);
    ball.fill(QColor(0, 255, 0));
    QPainter(&ball).fillRect(3, 3, 10, 10, Qt::darkBlue);
    bitmap->SetBitmaps(ball, ball, ball, ball);
    bitmap->move(286, 5);

    const QImage shot = window.grab().toImage();
    const bool saved = shot.save(folder + "/controls.png") &&
                       shot.scaled(shot.size() * 3).save(folder + "/controls_x3.png");
    if (!saved) {
        std::fprintf(stderr, "controlsheet: cannot write the pictures into %s\n", argv[1]);
        return 1;
    }
    std::printf("%s/controls.png, %s/controls_x3.png\n", argv[1], argv[1]);
    return 0;
}
