// The notification-area icon, the title buttons, the setup panel following the
// main window, full-window dragging during a move, and help.
#include <QCoreApplication>
#ifdef _WIN32
#include <windows.h>
#undef MessageBox  // the framework has its own
#endif
#include <QDir>
#include <QFile>

#include "framework/Application.h"
#include "framework/Tag.h"
#include "mainwindow/Unit1.h"
#include "platform/FileLocations.h"
#include "setup/Setup.h"
#include "widgets/GlyphButton.h"
#include "widgets/NativeWindow.h"
#include "widgets/NotifyIcon.h"
#include "widgets/ShellLauncher.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

constexpr int DragStateMoved = 77;
constexpr int DragStateSwitched = 88;
constexpr int DragStateResized = 99;

}  // namespace

void TForm1::btnTr2Click(QObject* sender) {
    TrayPinNumber = PinOfButton(sender);
}

void TForm1::TrayPicture() {
    if (TrayIcon == nullptr) {
        return;
    }
    const std::uint8_t mask = MaskOfPin(TrayPinNumber);
    const std::uint8_t value = LptPort->ReadRegister(SelectedPortCode(), RegData);
    const int level = mask != 0 && (value & mask) == mask ? 1 : 0;
    // A tray pin outside 2 … 9 gives a picture outside the list: the icon keeps its own.
    const long long picture = 2LL * TrayPinNumber - 2 + level;
    if (picture >= 0 && picture <= INT32_MAX) {
        TrayIcon->SetPictureIndex(static_cast<int>(picture));
    }
    UpdateTrayMenu();
}

void TForm1::TrayIconMouseUp(Qt::MouseButton button, QPoint /*position*/) {
    // Without the setup window (while the program ends) the first mapping holds.
    const bool leftFlips = FrmSetup == nullptr || FrmSetup->rgrpMouseButton->ItemIndex() != 1;
    bool flip = false;
    bool showHide = false;
    if (button == Qt::LeftButton) {
        (leftFlips ? flip : showHide) = true;
    } else if (button == Qt::RightButton) {
        (leftFlips ? showHide : flip) = true;
    }
    if (flip) {
        FlipTrayPin();
    } else if (showHide) {
        ShowHideWindows();
    }
}

void TForm1::btnHideClick() {
    PutAway();
}

// Closes directly: a close request from the system would only hide the window.
void TForm1::btnCloseClick() {
    close();
}

void TForm1::FormShow() {
    WithdrawnIntoTray_ = false;
    if (FrmSetup) {
        FrmSetup->show();
        raise();
    }
}

void TForm1::FormHide() {
    if (FrmSetup) {
        FrmSetup->hide();
    }
}

void TForm1::FormResize() {
    DragState = DragStateResized;
    SavedDragFullWindows = GetDragFullWindows();
}

void TForm1::WmGetMinMaxInfo() {
    if (DragState == DragStateMoved || DragState == DragStateResized) {
        SavedDragFullWindows = GetDragFullWindows();
        SetDragFullWindows(true);
        DragState = DragStateSwitched;
    }
}

void TForm1::WmMoving(const QRect& target) {
    if (FrmSetup == nullptr) {
        return;
    }
    // Measured where the windows really are, once per move: Qt's idea can be wrong
    // right after the window manager took them in, and the window system's lags
    // behind the steps of a drag. The distance does not change while they move.
    if (!DockOffset_) {
        DockOffset_ = WindowSystemPosition(this).y() - WindowSystemPosition(FrmSetup).y();
    }
    FrmSetup->move(target.left() + SetupLeftOffset, target.top() - *DockOffset_);
}

void TForm1::WmExitSizeMove() {
    SetDragFullWindows(SavedDragFullWindows);
    DragState = DragStateMoved;
    DockOffset_.reset();
}

QString TForm1::HelpPath() const {
    QString folder =
        Env_.HelpFolder.isEmpty() ? QCoreApplication::applicationDirPath() : Env_.HelpFolder;
    if (!folder.endsWith(u'/') && !folder.endsWith(u'\\')) {
        folder += u'/';
    }
    // The message names the path as the user's system writes it.
    return QDir::toNativeSeparators(folder + QString::fromLatin1(platform::HelpFileName));
}

void TForm1::btnHelpClick() {
    QString path = HelpPath();
    // An installed program keeps its help under share/tarvik; the message for a
    // missing file still names the place beside the executable.
    if (Env_.HelpFolder.isEmpty()) {
        const std::string found = platform::FindHelpFile(
            QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString(),
            platform::NativeProbe());
        if (!found.empty()) {
            path = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(found)));
        }
    }
    HelpLauncher->SetFileName(path);
    HelpLauncher->Start();
}

void TForm1::HelpLauncherError(int /*errorCode*/) {
    Application->MessageBox(QString::fromUtf8("Файл справки ") + QStringLiteral("\n\r") +
                            HelpPath() + QStringLiteral("\n\r") +
                            QString::fromUtf8(" не найден !"));
}

#ifdef _WIN32
bool TForm1::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const MSG* msg = static_cast<const MSG*>(message);
    switch (msg->message) {
        case WM_GETMINMAXINFO:
            WmGetMinMaxInfo();  // before the default handling
            break;
        case WM_MOVING: {
            const RECT* r = reinterpret_cast<const RECT*>(msg->lParam);
            WmMoving(QRect(QPoint(r->left, r->top), QPoint(r->right - 1, r->bottom - 1)));
            break;
        }
        case WM_EXITSIZEMOVE: {
            const bool handled = TForm::nativeEvent(eventType, message, result);
            WmExitSizeMove();  // after the default handling
            return handled;
        }
        default:
            break;
    }
    return TForm::nativeEvent(eventType, message, result);
}
#endif
