#include "widgets/ShapedHint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPalette>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kPadding = 4;
constexpr int kNoseHeight = 12;
constexpr int kNoseMinWidth = 46;
constexpr int kCornerRadius = 8;

bool HasNose(THintStyle s) {
    return s == hsNoseRect || s == hsNoseRoundRect || s == hsNoseEllipse;
}
bool IsEllipse(THintStyle s) {
    return s == hsEllipse || s == hsNoseEllipse;
}
bool IsRound(THintStyle s) {
    return s == hsRoundRect || s == hsNoseRoundRect;
}
bool IsAbove(THintPosition p) {
    return p == hpAboveLeft || p == hpAboveRight;
}
// Positions whose box lies left of the pointer have the nose on their right.
bool NoseOnRight(THintPosition p) {
    return p == hpAboveLeft || p == hpBelowLeft;
}

QRect BoxAt(THintPosition p, QPoint c, QSize s) {
    switch (p) {
        case hpAboveLeft:  // bottom-right corner at (x - 1, y - 1)
            return QRect(QPoint(c.x() - s.width(), c.y() - s.height()), s);
        case hpAboveRight:  // left at x + 1, bottom at y - 1
            return QRect(QPoint(c.x() + 1, c.y() - s.height()), s);
        case hpBelowLeft:  // right at x - 3, top at y + 1
            return QRect(QPoint(c.x() - 2 - s.width(), c.y() + 1), s);
        case hpBelowRight:  // left at x + 6, top at y + 1
            return QRect(QPoint(c.x() + 6, c.y() + 1), s);
    }
    return {};
}

QString WithLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

}  // namespace

struct ShapedHint::Layout {
    QSize box;
    QSize body;
    QRect text;  // relative to the body's top-left
    QString wrapped;
};

ShapedHint::ShapedHint(QObject* parent) : QObject(parent), balloon_(new HintBalloon) {
    const QPalette palette = QApplication::palette();
    color_ = palette.color(QPalette::ToolTipBase);
    fontColor_ = palette.color(QPalette::ToolTipText);
    shadowColor_ = palette.color(QPalette::Dark);
    font_ = QApplication::font("QToolTip");
    font_.setPixelSize(11);
    hideTimer_.setSingleShot(true);
    connect(&hideTimer_, &QTimer::timeout, this, &ShapedHint::HideHint);
    qApp->installEventFilter(this);
}

ShapedHint::~ShapedHint() {
    if (qApp) {
        qApp->removeEventFilter(this);
    }
}

void ShapedHint::SetEnabled(bool on) {
    enabled_ = on;
    if (!on) {
        HideHint();
    }
}

ShapedHint::Placement ShapedHint::Place(QPoint cursor, QSize box, QRect screen) const {
    THintPosition p = position_;
    QRect rect;
    for (int attempt = 0; attempt < 4; ++attempt) {
        p = static_cast<THintPosition>((position_ + attempt) % 4);
        rect = BoxAt(p, cursor, box);
        if (screen.contains(rect.topLeft()) && screen.contains(rect.bottomRight())) {
            break;
        }
    }
    return {rect, p};
}

QRect ShapedHint::PlaceBox(QPoint cursor, QSize box, QRect screen) const {
    return Place(cursor, box, screen).box;
}

ShapedHint::Layout ShapedHint::Compute(const QString& text, QRect screen) const {
    Layout l;
    l.wrapped = WithLineBreaks(text);
    int limit = maxWidth_ < 0 ? screen.width() / -maxWidth_ : maxWidth_;
    if (limit <= 0) {
        limit = std::max(screen.width(), 1);
    }
    const QFontMetrics fm(font_);
    const QRect bound =
        fm.boundingRect(QRect(0, 0, limit, 100000), Qt::AlignLeft | Qt::TextWordWrap, l.wrapped);
    const QSize textSize = bound.size();
    QSize body;
    QPoint textPos;
    if (IsEllipse(style_)) {
        // A rectangle fits an ellipse whose axes are sqrt(2) times its sides.
        body = QSize(int(std::ceil(textSize.width() * M_SQRT2)) + 2 * kPadding,
                     int(std::ceil(textSize.height() * M_SQRT2)) + 2 * kPadding);
        textPos =
            QPoint((body.width() - textSize.width()) / 2, (body.height() - textSize.height()) / 2);
    } else {
        const int extra = IsRound(style_) ? kCornerRadius / 2 : 0;
        body = textSize + QSize(2 * (kPadding + extra), 2 * kPadding);
        textPos = QPoint(kPadding + extra, kPadding);
    }
    if (HasNose(style_)) {
        body.setWidth(std::max(body.width(), kNoseMinWidth - shadowDepth_));
        textPos.setX((body.width() - textSize.width()) / 2);
    }
    l.body = body;
    l.text = QRect(textPos, textSize);
    l.box = body + QSize(shadowDepth_, shadowDepth_ + (HasNose(style_) ? kNoseHeight : 0));
    return l;
}

QSize ShapedHint::BoxSize(const QString& text, QRect screen) const {
    return Compute(text, screen).box;
}

void ShapedHint::ShowHint(const QString& text, QPoint globalPos) {
    HideHint();
    QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    const QRect screenRect = screen->geometry();
    const Layout l = Compute(text, screenRect);
    const Placement place = Place(globalPos, l.box, screenRect);

    // The shape, in the balloon's coordinates; the shadow lies below and right of it.
    const bool nose = HasNose(style_);
    const int bodyTop = nose && !IsAbove(place.position) ? kNoseHeight : 0;
    const QRectF body(0.5, bodyTop + 0.5, l.body.width() - 1, l.body.height() - 1);
    QPainterPath shape;
    if (IsEllipse(style_)) {
        shape.addEllipse(body);
    } else if (IsRound(style_)) {
        shape.addRoundedRect(body, kCornerRadius, kCornerRadius);
    } else {
        shape.addRect(body);
    }
    if (nose) {
        // A triangle from inside the body out to the corner nearest the pointer.
        const qreal w = l.body.width() - 1;
        const bool right = NoseOnRight(place.position);
        const qreal inset = IsEllipse(style_) ? w * 0.22 : 8;
        const qreal baseNear = right ? w - inset : inset;
        const qreal baseFar = right ? baseNear - 14 : baseNear + 14;
        const qreal tipX = right ? w + 0.5 : 0.5;
        const qreal baseY = IsAbove(place.position)
                                ? body.bottom() - (IsEllipse(style_) ? body.height() * 0.2 : 1)
                                : body.top() + (IsEllipse(style_) ? body.height() * 0.2 : 1);
        const qreal tipY = IsAbove(place.position) ? body.bottom() + kNoseHeight : 0.5;
        QPainterPath triangle;
        triangle.moveTo(baseNear, baseY);
        triangle.lineTo(tipX, tipY);
        triangle.lineTo(baseFar, baseY);
        triangle.closeSubpath();
        shape = shape.united(triangle);
    }

    HintLook look;
    look.shape = shape;
    look.textRect = l.text.translated(0, bodyTop);
    look.text = l.wrapped;
    look.font = font_;
    look.color = color_;
    look.borderColor = borderColor_;
    look.fontColor = fontColor_;
    look.shadowColor = shadowColor_;
    look.shadowDepth = shadowDepth_;

    // The screen under the box, taken before the balloon covers it.
    const QRect box = place.box;
    const QPixmap under = screen->grabWindow(0, box.x() - screenRect.x(), box.y() - screenRect.y(),
                                             box.width(), box.height());
    balloon_->SetContent(look, under.size() == box.size() ? under : QPixmap());
    balloon_->setGeometry(box);
    balloon_->show();
    balloon_->raise();
    if (hidePause_ > 0) {
        hideTimer_.start(hidePause_);
    }
}

void ShapedHint::HideHint() {
    hideTimer_.stop();
    control_ = nullptr;
    if (balloon_->isVisible()) {
        balloon_->hide();
    }
}

bool ShapedHint::eventFilter(QObject* watched, QEvent* event) {
    if (!enabled_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::ToolTip: {
            auto* control = qobject_cast<QWidget*>(watched);
            // An empty hint lets the event travel on to the parent, as Qt does.
            if (!control || control->toolTip().isEmpty()) {
                return false;
            }
            if (control == control_ && balloon_->isVisible()) {
                return true;  // the mouse rests again on the same control
            }
            const bool mayShow = OnShowHint ? OnShowHint(control) : true;
            if (mayShow) {
                ShowHint(control->toolTip(), static_cast<QHelpEvent*>(event)->globalPos());
                control_ = control;
            } else {
                HideHint();
            }
            return true;  // Qt's own tooltip never shows
        }
        case QEvent::Leave:
            if (watched == control_) {
                HideHint();
            }
            return false;
        case QEvent::Hide:
            if (watched == control_) {
                HideHint();
            }
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            if (balloon_->isVisible()) {
                HideHint();
            }
            return false;
        default:
            return false;
    }
}
