// The main window's skin: its picture is the background, its non-key pixels
// are the window's outline, the window has no frame and the picture's size,
// and it can be dragged by any spot of the picture that no control covers.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

class WindowDragger;

class WindowSkin : public QObject {
    Q_OBJECT
public:
    // Call before the window is first shown: changing the frame flag hides a shown window.
    WindowSkin(QWidget* window, const QImage& picture);

    void SetMoveable(bool on);
    bool Moveable() const;
    const QImage& Picture() const { return picture_; }

Q_SIGNALS:
    void DragBegin();
    void Moving(QRect& rect);
    void DragEnd();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    QImage picture_;
    QImage drawn_;  // the picture with its key colour transparent
    WindowDragger* dragger_;
};
