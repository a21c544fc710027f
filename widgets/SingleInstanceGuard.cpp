#include "widgets/SingleInstanceGuard.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "widgets/NativeWindow.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr int kConnectTimeoutMs = 1000;

}  // namespace

QString SingleInstanceGuard::ServerName(const QString& title) {
    QString base =
        QString::fromStdString(platform::InstanceBaseName(title.toStdString())) + "Window";
#ifdef _WIN32
    return base;
#else
    // In the user's private folder rather than in /tmp, where anybody could squat on it.
    base.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QString::fromStdString(platform::RuntimeFolder()) + QLatin1Char('/') + base;
#endif
}

SingleInstanceGuard::SingleInstanceGuard(const QString& title, QObject* parent)
    : QObject(parent),
      serverName_(ServerName(title)),
      instance_(std::make_unique<platform::SingleInstance>(
          platform::InstanceBaseName(title.toStdString()))) {
    OnTerminate = [] {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    if (AlreadyRunning()) {
        // The caller still finishes building its windows; the copy ends once its loop runs.
        QTimer::singleShot(0, this, [this] {
            TellFirstCopy();
            if (OnTerminate) {
                OnTerminate();
            }
        });
        return;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left behind by a killed first copy; we hold the lock, so it is stale.
    QLocalServer::removeServer(serverName_);
    server_->listen(serverName_);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            socket->disconnectFromServer();
            socket->deleteLater();
            BringForward();
        }
    });
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

void SingleInstanceGuard::BringForward() {
    // Whatever put it away: minimised, withdrawn into the tray while it still
    // counts as shown, or hidden by the program.
    BringBackOnScreen(mainWindow_);
    Q_EMIT Activated();
}

void SingleInstanceGuard::TellFirstCopy() {
#ifdef _WIN32
    // Only the foreground process may hand the foreground on.
    ::AllowSetForegroundWindow(ASFW_ANY);
#endif
    // If the first copy cannot be reached, this copy still ends.
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        socket.write("raise\n");
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
    }
}
