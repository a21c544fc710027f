#include "widgets/GradientPanel.h"

#include <QPainter>
#include <algorithm>

GradientPanel::GradientPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::SetStartColor(const QColor& color) {
    start_ = color;
    Invalidate();
}

void GradientPanel::SetEndColor(const QColor& color) {
    end_ = color;
    Invalidate();
}

void GradientPanel::SetColorSteps(int steps) {
    steps_ = std::max(1, steps);
    Invalidate();
}

void GradientPanel::Invalidate() {
    cache_ = QImage();
    update();
}

QColor GradientPanel::BandColor(int band) const {
    if (steps_ <= 1) {
        return start_;
    }
    const double t = static_cast<double>(std::clamp(band, 0, steps_ - 1)) / (steps_ - 1);
    auto mix = [t](int a, int b) { return static_cast<int>(a + (b - a) * t + 0.5); };
    return QColor(mix(start_.red(), end_.red()), mix(start_.green(), end_.green()),
                  mix(start_.blue(), end_.blue()));
}

// A pixel's band is its place along the diagonal: (x / w + y / h) / 2 in 0 ... 1,
// cut into equal parts, so the bands run at right angles to the diagonal.
void GradientPanel::paintEvent(QPaintEvent*) {
    if (cache_.size() != size()) {
        cache_ = QImage(size(), QImage::Format_RGB32);
        const int w = std::max(1, width() - 1);
        const int h = std::max(1, height() - 1);
        std::vector<QRgb> colors(static_cast<size_t>(steps_));
        for (int b = 0; b < steps_; ++b) {
            colors[static_cast<size_t>(b)] = BandColor(b).rgb();
        }
        for (int y = 0; y < cache_.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(cache_.scanLine(y));
            for (int x = 0; x < cache_.width(); ++x) {
                const double t = (static_cast<double>(x) / w + static_cast<double>(y) / h) / 2;
                const int band = std::min(steps_ - 1, static_cast<int>(t * steps_));
                line[x] = colors[static_cast<size_t>(band)];
            }
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, cache_);
}
