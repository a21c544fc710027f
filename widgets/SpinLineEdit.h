// The text part of a spin edit: a frameless line edit without a background whose
// keys and focus loss go to the spin edit that owns it.
#pragma once

#include <QLineEdit>

class SpinEditBase;

class SpinLineEdit : public QLineEdit {
    Q_OBJECT

public:
    SpinLineEdit(SpinEditBase* owner, QWidget* parent);

    // The owner is going: its parts are gone while Qt still moves the focus away
    // from this child, so nothing may reach the owner any more.
    void ForgetOwner() { owner_ = nullptr; }

    // The line edit's own handling of a key, for keys the owner lets through.
    void BaseKeyPress(QKeyEvent* event) { QLineEdit::keyPressEvent(event); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    SpinEditBase* owner_;
};
