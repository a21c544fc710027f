// The window of the shaped hint: a shape with its shadow and text, drawn over
// a capture of the screen beneath it so that the balloon looks free-standing.
// It never takes focus or mouse input.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

struct HintLook {
    QPainterPath shape;  // in the balloon's coordinates
    QRect textRect;
    QString text;
    QFont font;
    QColor color;
    QColor borderColor;
    QColor fontColor;
    QColor shadowColor;
    int shadowDepth = 0;
};

class HintBalloon : public QWidget {
    Q_OBJECT
public:
    HintBalloon();

    // The look and the screen beneath; a null capture cuts the window to the shape instead.
    void SetContent(const HintLook& look, const QPixmap& under);
    const HintLook& Look() const { return look_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    HintLook look_;
    QPixmap under_;
};
