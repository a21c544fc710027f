// Moves a top-level window while the left button is held on a free spot of it.
// The dragging is done here rather than by the window manager so that the
// window learns when a move begins, each step it is about to take, and its end.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class WindowDragger : public QObject {
    Q_OBJECT
public:
    explicit WindowDragger(QWidget* window);

    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }
    bool Dragging() const { return dragging_; }

Q_SIGNALS:
    void DragBegin();
    // The frame rectangle the window is about to take; a receiver may change it.
    void Moving(QRect& rect);
    void DragEnd();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish();

    QPointer<QWidget> window_;
    bool enabled_ = false;
    bool dragging_ = false;
    QPoint pressGlobal_;
    QPoint startTopLeft_;
};
