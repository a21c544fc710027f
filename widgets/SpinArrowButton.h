// One of the two small arrow buttons of a spin edit. Repeats while held and
// never takes the focus; flat buttons draw only the arrow (and a light wash
// while hot or down), so a transparent edit keeps its parent's look.
#pragma once

#include <QAbstractButton>

class SpinArrowButton : public QAbstractButton {
    Q_OBJECT

public:
    SpinArrowButton(bool up, QWidget* parent);

    void SetFlat(bool flat);
    bool Flat() const { return flat_; }
    bool Up() const { return up_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool up_;
    bool flat_ = false;
};
