// The program's hint window. It replaces Qt's tooltips for the whole
// application: when a control with a hint text is about to show its tooltip,
// the OnShowHint hook decides (and may set the look), and the hint is shown as
// a balloon at the mouse pointer, above all windows and without taking focus.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <functional>
#include <memory>

#include "widgets/HintBalloon.h"

enum THintStyle { hsRect, hsRoundRect, hsEllipse, hsNoseRect, hsNoseRoundRect, hsNoseEllipse };
enum THintPosition { hpAboveLeft, hpAboveRight, hpBelowLeft, hpBelowRight };

class ShapedHint : public QObject {
    Q_OBJECT
public:
    explicit ShapedHint(QObject* parent = nullptr);
    ~ShapedHint() override;

    // Called with the control before each hint; returns whether the hint may show.
    std::function<bool(QWidget* control)> OnShowHint;

    void SetStyle(THintStyle style) { style_ = style; }
    THintStyle Style() const { return style_; }
    void SetPosition(THintPosition position) { position_ = position; }
    THintPosition Position() const { return position_; }
    void SetColor(const QColor& c) { color_ = c; }
    QColor Color() const { return color_; }
    void SetBorderColor(const QColor& c) { borderColor_ = c; }
    QColor BorderColor() const { return borderColor_; }
    void SetFontColor(const QColor& c) { fontColor_ = c; }
    QColor FontColor() const { return fontColor_; }
    void SetFont(const QFont& f) { font_ = f; }
    QFont Font() const { return font_; }
    void SetShadowColor(const QColor& c) { shadowColor_ = c; }
    QColor ShadowColor() const { return shadowColor_; }
    void SetShadowDepth(int pixels) { shadowDepth_ = pixels; }
    int ShadowDepth() const { return shadowDepth_; }
    // Pixels; a negative value -n means the screen width divided by n.
    void SetMaxWidth(int width) { maxWidth_ = width; }
    int MaxWidth() const { return maxWidth_; }
    // Off: Qt's own tooltips come back.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }
    // Milliseconds a hint stays up while the mouse rests; 0 keeps it until the mouse leaves.
    void SetHidePause(int ms) { hidePause_ = ms; }

    struct Placement {
        QRect box;
        THintPosition position;
    };
    // Where a box of this size goes for the pointer at `cursor`: the configured
    // position first, then the next ones in order while a corner is off the screen.
    Placement Place(QPoint cursor, QSize box, QRect screen) const;
    QRect PlaceBox(QPoint cursor, QSize box, QRect screen) const;
    // The balloon's size for a text, with room for the shape, nose and shadow.
    QSize BoxSize(const QString& text, QRect screen) const;

    void ShowHint(const QString& text, QPoint globalPos);
    void HideHint();
    QWidget* HintWindow() const { return balloon_.get(); }
    // The control whose hint is up, if any.
    QWidget* Control() const { return control_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Layout;
    Layout Compute(const QString& text, QRect screen) const;

    THintStyle style_ = hsNoseRect;
    THintPosition position_ = hpAboveLeft;
    QColor color_;
    QColor borderColor_ = Qt::black;
    QColor fontColor_;
    QFont font_;
    QColor shadowColor_;
    int shadowDepth_ = 6;
    int maxWidth_ = -4;
    bool enabled_ = true;
    int hidePause_ = 2500;
    std::unique_ptr<HintBalloon> balloon_;
    QPointer<QWidget> control_;
    QTimer hideTimer_;
};
