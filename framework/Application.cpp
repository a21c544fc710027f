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
    QMessageBox box(QMessageBox::Critical, Title(), message, QMessageBox::Ok);
    box.exec();
}

void TApplication::MessageBox(const QString& text, const QString& caption) {
    const QString title = caption.isEmpty() ? Title() : caption;
    if (Reporter_) {
        Reporter_(BoxKind::Message, title, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
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
