// A panel filled with diagonal bands of colour, from the start colour at the
// top-left corner to the end colour at the bottom-right corner; no bevel.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

class GradientPanel : public QWidget {
    Q_OBJECT

public:
    explicit GradientPanel(QWidget* parent = nullptr);

    void SetStartColor(const QColor& color);
    QColor StartColor() const { return start_; }
    void SetEndColor(const QColor& color);
    QColor EndColor() const { return end_; }
    // The number of bands, at least 1.
    void SetColorSteps(int steps);
    int ColorSteps() const { return steps_; }

    // The colour of band b of the present steps, b = 0 ... steps - 1.
    QColor BandColor(int band) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Invalidate();

    QColor start_ = QColor(0x2E, 0x31, 0x92);
    QColor end_ = Qt::white;
    int steps_ = 37;
    QImage cache_;
};
