// The running program on a real X server: a window manager, a private simulated
// port agent and a copy of tarvik in a temporary folder with its own settings.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace x11 {

// Runs a tool to its end and returns its standard output (empty after 10 s).
QString Tool(const QString& program, const QStringList& args);

// Mouse actions through the XTest extension, as a user makes them.
void MoveTo(QPoint p);
void Click(QPoint p);
void Drag(QPoint from, QPoint to);

// A piece of the screen as it is now.
QImage Grab(const QRect& area);

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the program; ini, when given, is written beside it first. Returns
    // false when its main window did not appear within 10 s.
    bool StartProgram(const QByteArray& ini = {});
    void StopProgram();

    QString WindowId() const { return window_; }
    QRect Geometry() const;  // the main window in screen coordinates
    QPoint At(int x, int y) const { return Geometry().topLeft() + QPoint(x, y); }

    // The simulated agent: SIGKILL, and a fresh one on the same socket.
    void KillAgent();
    void StartAgent();

    // The agent's clients.
    int Read(std::uint16_t address) const;
    void Write(std::uint16_t address, std::uint8_t value) const;

private:
    QString Agent() const;
    QTemporaryDir runtime_, app_;
    std::unique_ptr<QProcess> wm_, agent_, program_;
    QString window_;
};

}  // namespace x11
