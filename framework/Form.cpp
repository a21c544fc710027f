#include "framework/Form.h"

#include <QCloseEvent>

#include "framework/Application.h"

TForm::TForm(QWidget* parent) : QWidget(parent) {
    // Hints show over every window of the program, not only over the active one.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    if (Application) {
        Application->RegisterForm(this);
    }
}

TForm::~TForm() = default;

void TForm::DoCreate() {
    if (OnCreate) {
        OnCreate();
    }
}

void TForm::DoDestroy() {
    if (!Destroyed_) {
        Destroyed_ = true;
        if (OnDestroy) {
            OnDestroy();
        }
    }
}

void TForm::closeEvent(QCloseEvent* event) {
    // Refused until the handler has run through: a handler that throws abandons the close.
    event->ignore();
    bool accept = true;
    if (OnClose) {
        OnClose(accept);
    }
    if (!accept) {
        event->ignore();
        return;
    }
    event->accept();
    if (Application && Application->IsMainForm(this)) {
        Application->Terminate();
    }
}

void TForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (OnShow && !event->spontaneous()) {
        OnShow();
    }
}

void TForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (OnHide && !event->spontaneous()) {
        OnHide();
    }
}

void TForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) {
        OnResize();
    }
}
