// What the tests on a real X server share: a desktop on the display of
// TARVIK_TEST_DISPLAY (openbox as window manager, trayer as tray host, a private
// simulated port agent in a private runtime folder), the running program in a
// folder of its own, and the user's mouse through xdotool.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace x11 {

// Whether the tests were given an X server.
bool HaveDisplay();

// Starts a helper that ends with the test (even when the test dies), in the
// given environment; its standard error is kept in errors when asked, else
// passed on. Null when it could not be started.
std::unique_ptr<QProcess> StartHelper(
    const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
    bool keepErrors = false);
// Ends a helper politely, then for good.
void StopHelper(std::unique_ptr<QProcess>& p);

struct Run {
    int code = -1;  // -1: did not start, or not ended within 10 s
    QString out;    // standard output, trimmed
};
// Runs a tool to its end while this process's event loop keeps going.
Run Tool(const QString& program, const QStringList& args);
Run Xdo(const QStringList& args);

// The mouse, as a user moves it (XTest through xdotool). Each step returns
// once the X server has done it; what the windows make of it, the caller waits for.
QPoint Pointer();
void MoveTo(QPoint p);
void Click(QPoint p, int button = 1);
void Drag(QPoint from, QPoint to);

// A piece of the screen as it is now.
QImage Grab(const QRect& area);

// A window as the X server sees it, through a connection of our own.
struct XWindow {
    std::uint32_t id = 0;
    QRect rect;  // in root coordinates
    bool viewable = false;
};
std::optional<XWindow> Query(std::uint32_t id);
// The managed windows from the bottom of the stack to its top, as the window
// manager keeps them (_NET_CLIENT_LIST_STACKING).
std::vector<std::uint32_t> StackingOrder();

// Busy processes, one per core, for as long as the object lives.
class CpuLoad {
public:
    CpuLoad();
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

private:
    std::vector<std::unique_ptr<QProcess>> busy_;
};

class Desktop {
public:
    struct Parts {
        bool trayHost = false;
        bool agent = false;
        // The window manager at the lowest priority: with CpuLoad it takes
        // windows in as slowly as on a busy machine.
        bool slowWindowManager = false;
    };
    // Sets this process's XDG_RUNTIME_DIR to a private folder, which every
    // program started later inherits; the destructor restores it.
    explicit Desktop(Parts parts);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // A window manager manages the screen (ours, or one that ran already).
    bool WindowManagerReady() const { return wmReady_; }

    // A tray host owns the tray: ours, unless another already runs on the
    // display; false when none came up within 10 s.
    bool StartTrayHost();
    void StopTrayHost();
    // The tray host runs and is ours (only ours can be restarted).
    bool OwnTrayHost() const;

    // The simulated agent on the private socket: answers when true is returned.
    bool StartAgent();
    void KillAgent();  // SIGKILL: the socket file stays behind
    // The agent's clients; Read gives -1 on failure.
    int Read(std::uint16_t address) const;
    void Write(std::uint16_t address, std::uint8_t value) const;

private:
    QTemporaryDir runtime_;
    QByteArray savedRuntime_;
    bool hadRuntime_ = false;
    bool wmReady_ = false;
    std::unique_ptr<QProcess> wm_, tray_, agent_;
};

// The windows of one running copy of the program, told apart by their size.
struct ProgramWindows {
    std::optional<XWindow> main, setup, icon;
    std::vector<XWindow> others;  // any other window on the screen: a box, say
};

// tarvik copied into a temporary folder, where it keeps its settings file.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    QString Ini() const;
    // Writes the settings file; an empty text removes it.
    void WriteIni(const QByteArray& text) const;
    QByteArray ReadIni() const;

    // Starts the copy (the settings file stays as it is), once the window
    // manager has dealt with the windows of the copy that ran before.
    bool Start();
    // Starts it in another environment (another desktop); its standard error is kept.
    bool StartIn(const QProcessEnvironment& env);
    // What the copy started by StartIn wrote to standard error so far.
    QString Errors() const;
    // Waits until the main and the setup window, and the tray icon when asked,
    // are on the screen.
    bool WaitForWindows(bool icon = false, int ms = 15000);
    ProgramWindows Windows() const;
    QRect Geometry() const;  // the main window in screen coordinates, or empty
    QPoint At(int x, int y) const { return Geometry().topLeft() + QPoint(x, y); }

    bool Running() const;
    // Waits for the copy to end by itself.
    bool WaitForExit(int ms);
    const QProcess* Process() const { return process_.get(); }
    void Stop();

    // Runs one more copy from the same folder and waits for it to end; gives
    // its exit code, or -1 when it did not end within ms.
    int RunAnotherCopy(int ms);
    int RunAnotherCopy(int ms, const QProcessEnvironment& env);

private:
    QTemporaryDir folder_;
    QString exe_;
    std::unique_ptr<QProcess> process_;
    qint64 lastPid_ = 0;
    mutable QString errors_;
};

}  // namespace x11
