// The setup window's outline: frameless, its picture as background, and the
// shape cut from the picture the first time the window is shown. Later shows
// keep that shape whatever the window's height has become meanwhile.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>

class WindowDragger;

class WindowShape : public QObject {
    Q_OBJECT
public:
    WindowShape(QWidget* window, const QImage& picture);

    // Dragging the window by its picture; off unless switched on.
    void SetDraggable(bool on);
    bool Draggable() const;
    bool ShapeApplied() const { return applied_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    QImage picture_;
    QImage drawn_;  // the picture with its key colour transparent
    WindowDragger* dragger_;
    bool applied_ = false;
};
