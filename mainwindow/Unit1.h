// The main window: eight data-pin channels, the connector drawing, the tray icon
// and the title buttons. It owns the port connection and the pin state set; its
// handlers are shared by the channels and tell the controls apart by their tags.
#pragma once

#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "framework/Form.h"
#include "pins/Unit2.h"
#include "pins/thread.h"
#include "platform/DragSetting.h"
#include "port/LPTIO.h"

class QComboBox;
class QMenu;
class QAction;
class QTimer;
class GlyphButton;
class GlyphList;
class ListImage;
class FloatSpinEdit;
class GradientPanel;
class ShapedHint;
class NotifyIcon;
class SingleInstanceGuard;
class WindowSkin;
class ShellLauncher;
class TMainThreadDispatcher;
class TFrmSetup;

// Where the main window finds the things outside it; tests replace them.
struct TForm1Environment {
    port::PortSystem* Ports = nullptr;    // nullptr: the platform's own layer
    QString IniPath;                      // empty: see platform/FileLocations.h
    QString HelpFolder;                   // empty: the executable's folder
    TDragSetting* DragSetting = nullptr;  // nullptr: the platform's own layer
    bool UseInstanceGuard = true;
    bool UseTrayIcon = true;
    std::function<bool()> TrayAvailable;  // empty: asks the desktop for a tray host
};

class TForm1 : public TForm {
    Q_OBJECT
public:
    explicit TForm1(TForm1Environment environment = {});
    ~TForm1() override;

    // Data pins are 2 … 9, connector pins 1 … 25.
    static constexpr int FirstDataPin = 2;
    static constexpr int LastDataPin = 9;
    static constexpr int SetupLeftOffset = 89;

    // --- components (built by the layout before FormCreate) ---
    GlyphButton* btnHelp = nullptr;
    GlyphButton* btnHide = nullptr;
    GlyphButton* btnClose = nullptr;
    std::array<GlyphButton*, 10> btnTr{};  // indexed by pin 2 … 9
    std::array<GlyphButton*, 10> btnPoint{};
    std::array<GlyphButton*, 10> btnDir{};
    std::array<GradientPanel*, 10> pnlSpin{};
    std::array<FloatSpinEdit*, 10> spin{};
    std::array<ListImage*, 26> imgPin{};  // indexed by pin 1 … 25
    QComboBox* ComboBox1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    GlyphList* ButtonGlyphs = nullptr;
    GlyphList* PinPictures = nullptr;
    ShapedHint* ShpHint1 = nullptr;
    NotifyIcon* TrayIcon = nullptr;
    QMenu* TrayMenu = nullptr;  // offered by the tray hosts that open menus themselves
    SingleInstanceGuard* InstanceGuard = nullptr;
    WindowSkin* MainSkin = nullptr;
    ShellLauncher* HelpLauncher = nullptr;

    // --- fields and shared state ---
    std::unique_ptr<TLptPortConnection> LptPort;
    std::array<TPainterThread*, 10> PinThreads{};  // running pulse per pin, not owned
    std::unique_ptr<TPntLPT> PinSet;
    std::array<FloatSpinEdit*, 10> PinSpins{};
    std::array<ListImage*, 18> PinImages{};
    std::array<GlyphButton*, 10> PinButtons{};
    std::array<bool, 10> PinDirections{};
    std::int32_t TrayPinNumber = 2;
    bool SavedDragFullWindows = false;
    std::int32_t DragState = 0;

    // --- start-up and shutdown ---
    void FormCreate();
    void FormClose(bool& accept);
    void FormDestroy();
    std::uint8_t SelectedPortCode() const;
    // Whether a hint may show for the control; sets the hint's look either way.
    bool AppShowHint(QWidget* control);
    static void Delay(std::uint16_t seconds, std::int32_t milliseconds);
    // Told of every Delay before it waits; tests count the pauses of a slide with it.
    static inline std::function<void(std::uint16_t, std::int32_t)> DelayObserver;
    bool GetDragFullWindows();
    void SetDragFullWindows(bool value);

    // --- settings ---
    void IniFileWork(bool save);
    // The file the settings are read from, or saved to (they differ for an installed
    // program that starts from a preset beside it).
    QString IniPath(bool save) const;

    // --- data-pin channels ---
    void btnPoint2Click(QObject* sender);
    void PinStop(TPainterThread* sender);
    void btnDir2Click(QObject* sender);
    void Spin2Change(QObject* sender);
    void Spin2KeyPress(QObject* sender, QChar& key);
    void Timer2Timer();
    void aPinChange(TPntLPT* sender, std::int32_t index);
    void BtnRedraw(GlyphButton* button);
    bool ReadDataBit(int bit);

    // --- status monitor ---
    void Timer1Timer();
    bool ReadPinLevel(int pin);

    // --- tray, window behaviour, help ---
    void btnTr2Click(QObject* sender);
    void TrayIconMouseUp(Qt::MouseButton button, QPoint position);
    void btnHideClick();
    void btnCloseClick();
    void FormShow();
    void FormHide();
    void FormResize();
    void WmGetMinMaxInfo();
    void WmMoving(const QRect& target);
    void WmExitSizeMove();
    void btnHelpClick();
    void HelpLauncherError(int errorCode);
    QString HelpPath() const;

    // --- where the windows are: tray or task bar, minimise, keys, Wayland ---
    // Shows both windows if the main window is not really on the screen, else hides them.
    void ShowHideWindows();
    // btnHide and the close request: into the tray, or minimised where there is none.
    void PutAway();
    void TrayAvailabilityChanged(bool available);
    // The "_" button's hint, and once a word on standard error where there is no tray.
    void ShowTrayAvailability(bool available);
    void FlipTrayPin();

    // --- setup panel ---
    void SetupMove();

protected:
    void changeEvent(QEvent* event) override;
#ifdef _WIN32
    // The system's own move and size messages, where the window system sends them.
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void BuildLayout();
    void BindEvents();
    void SetPinLevel(int pin, bool level);
    void FlipPin(int pin);
    void TrayPicture();
    void BuildTrayMenu();
    void UpdateTrayMenu();
    void BindKeys();
    void FollowMinimise(Qt::WindowStates oldState);
    void AdaptToWaylandOnly();
    void SetupMoveInPlace();
    static int PinOfButton(const QObject* sender);
    static std::uint8_t MaskOfPin(int pin);

    TForm1Environment Env_;
    std::shared_ptr<TMainThreadDispatcher> Dispatcher_;
    std::unique_ptr<TDragSetting> OwnDragSetting_;
    // Main window's top minus the setup window's, for the move under way.
    std::optional<int> DockOffset_;
    QAction* ShowHideAction_ = nullptr;
    QAction* FlipAction_ = nullptr;
    // The setup window went away with a minimise of this one and comes back with it.
    bool SetupAwayWithMinimise_ = false;
    bool Shown_ = false;  // the windows have appeared once
    // The tray's minimise rule took this window off the screen; a show ends that.
    bool WithdrawnIntoTray_ = false;
};

extern TForm1* Form1;
