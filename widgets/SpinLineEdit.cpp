#include "widgets/SpinLineEdit.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QMouseEvent>

#include "widgets/SpinEditBase.h"

SpinLineEdit::SpinLineEdit(SpinEditBase* owner, QWidget* parent)
    : QLineEdit(parent), owner_(owner) {
    setFrame(false);
    setAutoFillBackground(false);
    QPalette clear = palette();
    clear.setBrush(QPalette::Base, Qt::transparent);
    setPalette(clear);
}

void SpinLineEdit::keyPressEvent(QKeyEvent* event) {
    owner_->EditKeyPress(event);
}

// Only a move of the focus to another control takes the text over, not a
// switch to another window or a context menu.
void SpinLineEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (owner_ != nullptr && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason) {
        owner_->EditFocusOut();
    }
}

// The middle button pastes the selection on X11; not where typing is refused.
void SpinLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && !owner_->TypingAllowed()) {
        event->accept();
        return;
    }
    owner_->TrackTextChange([&] { QLineEdit::mouseReleaseEvent(event); });
}

void SpinLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (!owner_->TypingAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::contextMenuEvent(event);
}

void SpinLineEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!owner_->TypingAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}
