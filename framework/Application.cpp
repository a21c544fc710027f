#include "framework/Application.h"

#include <QMessageBox>
#include <exception>

#include "platform/FloatText.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The main window hides into the notification area; only the main form ends the program.
    setQuitOnLastWindowClosed(false);
    platform::UseUserNumberFormat();
}

TApplication::~TApplication() = default;

TApplication* TApplication::Instance() {
    return qobject_cast<TApplication*>(qApp);
}

void TApplication::SetTitle(const QString& title) {
    setApplicationName(title);
    setApplicationDisplayName(title);
}

void TApplication::RegisterForm(QWidget* form) {
    if (MainForm_ == nullptr) {
        MainForm_ = form;
    }
    Forms_.removeIf([](const QPointer<QWidget>& gone) { return gone.isNull(); });
    Forms_.append(form);
}

QWidget* TApplication::BoxOwner() const {
    if (QWidget* active = activeWindow(); active != nullptr && active->isVisible()) {
        return active;
    }
    // Else the form that would cover the box: one that stays on top.
    QWidget* owner = nullptr;
    for (const QPointer<QWidget>& form : Forms_) {
        if (form && form->isVisible() &&
            (owner == nullptr || form->windowFlags().testFlag(Qt::WindowStaysOnTopHint))) {
            owner = form;
        }
    }
    return owner;
}

int TApplication::ExecBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    // Owned by a window of the program and on top of all of them: the main window
    // stays on top, and a box under it would hide its own text and OK button while
    // blocking the window above it.
    QMessageBox box(icon, caption, text, QMessageBox::Ok, BoxOwner());
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec();
}

void TApplication::Terminate() {
    Terminated_ = true;
    if (Running_) {
        // Not quit(): that first asks every window to close and gives up when one
        // refuses, as the main window does when its settings can't be saved. The
        // program must end all the same, without running the main window's close.
        exit(0);
    }
}

void TApplication::ProcessMessages() {
    processEvents(QEventLoop::AllEvents);
    sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int TApplication::Run() {
    if (Terminated_) {
        return 0;
    }
    Running_ = true;
    const int code = exec();
    Running_ = false;
    return code;
}

void TApplication::ShowException(const QString& message) {
    if (Reporter_) {
        Reporter_(BoxKind::Error, Title(), message);
        return;
    }
    ExecBox(QMessageBox::Critical, Title(), message);
}

void TApplication::MessageBox(const QString& text, const QString& caption) {
    const QString title = caption.isEmpty() ? Title() : caption;
    if (Reporter_) {
        Reporter_(BoxKind::Message, title, text);
        return;
    }
    ExecBox(QMessageBox::NoIcon, title, text);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    // An exception escaping any handler is reported and the program goes on.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown exception"));
    }
    return false;
}
