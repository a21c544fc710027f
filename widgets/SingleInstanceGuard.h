// Lets only one copy of the program run. The first copy holds the named lock
// for its whole life and listens for later copies; a later copy asks the first
// one to come forward and then ends quietly, once its event loop runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/SingleInstance.h"

class QLocalServer;

class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    explicit SingleInstanceGuard(const QString& title, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    bool AlreadyRunning() const { return instance_->AlreadyRunning(); }
    // The window that is brought forward when a later copy starts.
    void SetMainWindow(QWidget* window) { mainWindow_ = window; }

    // How a later copy ends; by default the application is asked to quit.
    std::function<void()> OnTerminate;

    // Where the copies meet: a local socket name derived from the title.
    static QString ServerName(const QString& title);

Q_SIGNALS:
    // In the first copy: a later copy asked for the main window.
    void Activated();

private:
    void BringForward();
    void TellFirstCopy();

    QString serverName_;
    std::unique_ptr<platform::SingleInstance> instance_;
    QLocalServer* server_ = nullptr;
    QPointer<QWidget> mainWindow_;
};
