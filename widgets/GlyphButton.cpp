#include "widgets/GlyphButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "widgets/EngravedText.h"
#include "widgets/GlyphList.h"

GlyphButton::GlyphButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    Refresh();
}

void GlyphButton::SetGlyphList(GlyphList* list) {
    if (list_ == list) {
        return;
    }
    if (list_) {
        disconnect(list_, nullptr, this, nullptr);
    }
    list_ = list;
    if (list_) {
        connect(list_, &GlyphList::Changed, this, &GlyphButton::Refresh);
        connect(list_, &QObject::destroyed, this, &GlyphButton::Refresh, Qt::QueuedConnection);
    }
    Refresh();
}

void GlyphButton::SetStateGlyph(int state, int index, int list) {
    if (state < 0 || state >= kStateCount) {
        return;
    }
    const int before = DrawnGlyph();
    entries_[static_cast<size_t>(state)] = {index, list};
    // Replacing the glyph of another state shows nothing until that state comes,
    // except where the present state borrows that glyph as its fallback.
    if (state == state_ || DrawnGlyph() != before) {
        Refresh();
    }
}

int GlyphButton::StateGlyph(int state) const {
    if (state < 0 || state >= kStateCount) {
        return -1;
    }
    return entries_[static_cast<size_t>(state)].index;
}

int GlyphButton::StateGlyphList(int state) const {
    if (state < 0 || state >= kStateCount) {
        return 0;
    }
    return entries_[static_cast<size_t>(state)].list;
}

int GlyphButton::GlyphOfState(int state) const {
    const int index = entries_[static_cast<size_t>(state)].index;
    return list_ && list_->Has(index) ? index : -1;
}

int GlyphButton::DrawnGlyph() const {
    const int own = GlyphOfState(state_);
    if (own >= 0) {
        return own;
    }
    switch (state_) {
        case StateDisabled:
        case StateHot:
        case StateUnused:
            return GlyphOfState(StateUp);
        case StateLatched:
        case StatePressed:
        case StateMenuOpen:
        case StateDisabledLatched:
            return GlyphOfState(StatePressed);
        default:
            return -1;
    }
}

void GlyphButton::SetCaption(const QString& caption) {
    if (caption_ != caption) {
        caption_ = caption;
        update();
    }
}

void GlyphButton::SetShowCaption(bool show) {
    if (showCaption_ != show) {
        showCaption_ = show;
        update();
    }
}

void GlyphButton::SetCaptionHighlight(const QColor& color) {
    highlight_ = color;
    update();
}

void GlyphButton::SetCaptionOffset(int offset) {
    captionOffset_ = offset;
    update();
}

void GlyphButton::SetGroupIndex(int group) {
    group_ = group;
    if (group_ == 0 && pressed_) {
        pressed_ = false;
        SetState(RestState());
    }
}

void GlyphButton::SetAllowAllUp(bool allow) {
    allowAllUp_ = allow;
}

// Only group buttons latch. A latched button cannot be released this way unless
// "allow all up" is on; latching one releases the latched one of its group.
void GlyphButton::SetPressed(bool pressed) {
    if (group_ == 0) {
        pressed = false;
    }
    if (pressed == pressed_ || (pressed_ && !allowAllUp_)) {
        return;
    }
    pressed_ = pressed;
    SetState(RestState());
    if (!pressed || !parentWidget()) {
        return;
    }
    const auto siblings = parentWidget()->findChildren<GlyphButton*>(Qt::FindDirectChildrenOnly);
    for (GlyphButton* other : siblings) {
        if (other != this && other->group_ == group_ && other->pressed_) {
            other->ReleaseFromGroup(allowAllUp_);
        }
    }
}

void GlyphButton::ReleaseFromGroup(bool allowAllUp) {
    pressed_ = false;
    allowAllUp_ = allowAllUp;
    SetState(RestState());
}

void GlyphButton::SetAutoSize(bool on) {
    autoSize_ = on;
    Refresh();
}

void GlyphButton::SetMouseOverTracking(bool on) {
    tracking_ = on;
    if (!on && state_ == StateHot) {
        SetState(RestState());
    }
}

void GlyphButton::Click() {
    Q_EMIT Clicked();
}

QSize GlyphButton::sizeHint() const {
    const int glyph = DrawnGlyph();
    return glyph >= 0 ? list_->Size(glyph) : QSize(kMissingGlyphSize, kMissingGlyphSize);
}

int GlyphButton::RestState() const {
    if (isEnabled()) {
        return pressed_ ? StateLatched : StateUp;
    }
    return pressed_ ? StateDisabledLatched : StateDisabled;
}

void GlyphButton::SetState(int state) {
    if (state_ != state) {
        state_ = state;
        Refresh();
    }
}

// The size follows the glyph actually drawn, so a fallback glyph is never clipped.
void GlyphButton::Refresh() {
    if (autoSize_) {
        const QSize wanted = sizeHint();
        if (size() != wanted) {
            resize(wanted);
        }
    }
    update();
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int glyph = DrawnGlyph();
    if (glyph >= 0) {
        painter.drawImage(0, 0, list_->Masked(glyph));
    }
    if (showCaption_ && !caption_.isEmpty()) {
        QRect area = rect();
        if (state_ == StateLatched || state_ == StatePressed || state_ == StateMenuOpen) {
            area.translate(captionOffset_, captionOffset_);
        }
        DrawRaisedText(painter, area, Qt::AlignCenter, caption_, highlight_,
                       palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
    }
}

void GlyphButton::enterEvent(QEnterEvent*) {
    if (isEnabled() && !mouseDown_ && tracking_ && state_ == StateUp) {
        SetState(StateHot);
    }
}

void GlyphButton::leaveEvent(QEvent*) {
    QToolTip::hideText();
    if (!mouseDown_ && state_ == StateHot) {
        SetState(RestState());
    }
}

void GlyphButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    mouseDown_ = true;
    if (!pressed_) {
        SetState(StatePressed);
    }
}

// While the left button is held the button follows the mouse: pressed inside,
// up outside. A latched button keeps its latched look throughout.
void GlyphButton::mouseMoveEvent(QMouseEvent* event) {
    if (!mouseDown_ || pressed_) {
        return;
    }
    SetState(rect().contains(event->position().toPoint()) ? StatePressed : StateUp);
}

void GlyphButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !mouseDown_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    mouseDown_ = false;
    if (!rect().contains(event->position().toPoint())) {
        SetState(RestState());
        return;
    }
    if (group_ != 0) {
        if (pressed_ && !allowAllUp_) {
            return;
        }
        SetPressed(!pressed_);
    }
    if (!pressed_) {
        SetState(tracking_ ? StateHot : StateUp);
    }
    Q_EMIT Clicked();
}

void GlyphButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        mouseDown_ = false;
        SetState(RestState());
    }
    QWidget::changeEvent(event);
}
