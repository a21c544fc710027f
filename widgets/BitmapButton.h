// A button drawn from four bitmaps (up, disabled, down, hot) sharing one
// transparent colour; it takes the size of the up bitmap and paints nothing else.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <array>

class BitmapButton : public QWidget {
    Q_OBJECT

public:
    enum Face { FaceUp = 0, FaceDisabled = 1, FaceDown = 2, FaceHot = 3 };

    explicit BitmapButton(QWidget* parent = nullptr);

    void SetBitmaps(const QImage& up, const QImage& disabled, const QImage& down,
                    const QImage& hot);
    // Lime unless set otherwise.
    void SetTransparentColor(const QColor& color);
    QColor TransparentColor() const { return key_; }
    // The face shown now.
    Face CurrentFace() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Rebuild();

    std::array<QImage, 4> sources_;
    std::array<QImage, 4> faces_;
    QColor key_ = QColor(0, 255, 0);
    bool hover_ = false;
    bool mouseDown_ = false;
    bool downInside_ = false;
};
