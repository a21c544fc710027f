// Start-up and shutdown of the main window, the port choice, the hint hook and
// the small shared routines.
#include "mainwindow/Unit1.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <optional>

#include "framework/Application.h"
#include "framework/Conversions.h"
#include "framework/MainThreadDispatcher.h"
#include "framework/Tag.h"
#include "setup/Setup.h"
#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GlyphList.h"
#include "widgets/ListImage.h"
#include "widgets/NotifyIcon.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/ShapedHint.h"
#include "widgets/SingleInstanceGuard.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentRadioGroup.h"
#include "widgets/WindowSkin.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(TForm1Environment environment)
    : Env_(std::move(environment)), Dispatcher_(std::make_shared<TMainThreadDispatcher>()) {
    Form1 = this;
    if (Env_.DragSetting == nullptr) {
        OwnDragSetting_ = MakeNativeDragSetting();
        Env_.DragSetting = OwnDragSetting_.get();
    }
    BuildLayout();
    BindEvents();
    DoCreate();
}

TForm1::~TForm1() {
    DoDestroy();
    if (Form1 == this) {
        Form1 = nullptr;
    }
}

void TForm1::FormCreate() {
    // 1. Centre on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.left() + s.width() / 2 - width() / 2, s.top() + s.height() / 2 - height() / 2);
    }

    // 2. The port connection; without a usable driver the program ends after start-up.
    LptPort = Env_.Ports ? std::make_unique<TLptPortConnection>(*Env_.Ports)
                         : std::make_unique<TLptPortConnection>();
    if (!LptPort->IsReady()) {
        const std::uint32_t code =
            (Env_.Ports ? *Env_.Ports : port::NativePortSystem()).GetLastErrorCode();
        Application->MessageBox(
            QString::fromUtf8("Ошибка при создании объекта Lpt,  драйвер ERROR,  код = ") +
                QString::number(code),
            QStringLiteral("ERROR"));
        Application->Terminate();
    }

    // 3, 4. The invisible port selector holds the ports found, in this order.
    ComboBox1->clear();
    if (LptPort->PortPresent(PortCode3BC)) {
        ComboBox1->addItem(QStringLiteral("$3BC"));
    }
    if (LptPort->PortPresent(PortCode378)) {
        ComboBox1->addItem(QStringLiteral("$378"));
    }
    if (LptPort->PortPresent(PortCode278)) {
        ComboBox1->addItem(QStringLiteral("$278"));
    }

    // 5. The data-pin mirror.
    PinSet = std::make_unique<TPntLPT>(8);
    PinSet->SetOnChange([this](TPntLPT* sender, std::int32_t index) { aPinChange(sender, index); });

    // 6. The hint hook.
    ShpHint1->OnShowHint = [this](QWidget* control) { return AppShowHint(control); };

    // 7, 8.
    SavedDragFullWindows = GetDragFullWindows();
    if (ComboBox1->count() > 0) {
        ComboBox1->setCurrentIndex(0);
    }

    // 9. Settings: delays, directions, tray pin and every option of the setup window.
    IniFileWork(false);

    // 10. Tables indexed by pin number.
    for (int p = FirstDataPin; p <= LastDataPin; ++p) {
        PinButtons[p] = btnPoint[p];
        PinSpins[p] = spin[p];
    }
    for (int p = 1; p <= 17; ++p) {
        PinImages[p] = imgPin[p];
    }

    // 11.
    Timer1->start();
    Timer2->start();

    // 12. Initial state of the data pins.
    switch (FrmSetup->rgrpPinInit->ItemIndex()) {
        case 1:
            LptPort->WriteRegister(SelectedPortCode(), RegData, 0x00);
            break;
        case 2:
            LptPort->WriteRegister(SelectedPortCode(), RegData, 0xFF);
            break;
        default:
            break;
    }

    // 13.
    for (int p = FirstDataPin; p <= LastDataPin; ++p) {
        BtnRedraw(btnPoint[p]);
    }

    // 14. The closed setup panel lies behind this window.
    FrmSetup->move(x() + SetupLeftOffset, y() - StrToInt(FrmSetup->SpinTop->Text()));

    // The windows appear now, unless the program is already on its way out.
    const bool secondCopy = InstanceGuard && InstanceGuard->AlreadyRunning();
    if (!Application->Terminated() && !secondCopy) {
        AdaptToWaylandOnly();
        show();
        Shown_ = true;
        if (TrayIcon) {
            ShowTrayAvailability(TrayIcon->Available());
        }
    }

    // 15.
    Delay(1, 0);
}

void TForm1::FormClose(bool& /*accept*/) {
    IniFileWork(true);  // a failed save throws: the close is abandoned
    FrmSetup->close();
}

void TForm1::FormDestroy() {
    // Pulses still running are stopped and forgotten while the dispatcher is open:
    // until it shuts, none of them can have freed itself, as each waits for its
    // finish handler to run on this thread. Once it shuts they end without an end
    // write and free themselves, so nothing here may touch them afterwards.
    for (TPainterThread*& thread : PinThreads) {
        if (thread) {
            thread->RequestStop();
            thread = nullptr;
        }
    }
    Dispatcher_->Shutdown();
    Timer1->stop();
    Timer2->stop();
    delete Timer1;
    Timer1 = nullptr;
    delete Timer2;
    Timer2 = nullptr;
    PinSet.reset();
    LptPort.reset();
}

std::uint8_t TForm1::SelectedPortCode() const {
    const QString text = ComboBox1->currentText();
    if (text == QLatin1String("$3BC")) {
        return PortCode3BC;
    }
    if (text == QLatin1String("$378")) {
        return PortCode378;
    }
    return PortCode278;
}

namespace {

struct Look {
    QColor color, border, font;
    THintStyle style;
};

template <typename Kind>
bool IsExactly(const QWidget* control) {
    return control->metaObject() == &Kind::staticMetaObject;
}

}  // namespace

bool TForm1::AppShowHint(QWidget* control) {
    const bool mayShow = FrmSetup->chkHintVisible->Checked();
    if (control == nullptr) {
        return mayShow;
    }
    const QColor tip = palette().color(QPalette::ToolTipBase);
    const int tag = TagOf(control);
    std::optional<Look> look;
    if (IsExactly<FloatSpinEdit>(control)) {
        look = Look{tip, Qt::black, Qt::black, hsRoundRect};
    } else if (IsExactly<ListImage>(control) && tag >= 62 && tag <= 69) {
        look = Look{QColor(0x008000), QColor(0x00FF00), QColor(0x00FF00), hsNoseEllipse};
    } else if (IsExactly<ListImage>(control) && tag >= 51 && tag <= 54) {
        look = Look{QColor(0xA6CAF0), QColor(0x0000FF), QColor(0x0000FF), hsNoseEllipse};
    } else if (IsExactly<ListImage>(control) && tag >= 71 && tag <= 75) {
        look = Look{QColor(0x808000), QColor(0x800000), tip, hsNoseEllipse};
    } else if (IsExactly<ListImage>(control) && tag >= 81 && tag <= 88) {
        look = Look{tip, Qt::black, Qt::black, hsNoseEllipse};
    } else if (IsExactly<BitmapButton>(control)) {
        look = Look{QColor(0x000080), QColor(0xFF0000), tip, hsEllipse};
    } else if (IsExactly<GlyphButton>(control) && tag >= 97 && tag <= 99) {
        look = Look{QColor(0x000080), QColor(0xFF0000), tip, hsEllipse};
    } else if (IsExactly<GlyphButton>(control) && tag % 10 == 1) {
        look = Look{QColor(0x008080), QColor(0xFFFFFF), QColor(0xFFFF00), hsNoseRect};
    } else if (IsExactly<GlyphButton>(control) && tag % 10 == 2) {
        look = Look{QColor(0x008080), QColor(0x0000FF), QColor(0xFFFF00), hsNoseRect};
    } else if (IsExactly<GlyphButton>(control) && tag % 10 == 3) {
        look = Look{QColor(0x008080), QColor(0xFF0000), QColor(0xFFFF00), hsNoseRect};
    }
    if (look) {
        ShpHint1->SetColor(look->color);
        ShpHint1->SetBorderColor(look->border);
        ShpHint1->SetFontColor(look->font);
        ShpHint1->SetStyle(look->style);
    }
    return mayShow;
}

void TForm1::Delay(std::uint16_t seconds, std::int32_t milliseconds) {
    if (DelayObserver) {
        DelayObserver(seconds, milliseconds);
    }
    const qint64 total = qint64(seconds) * 1000 + milliseconds;
    if (total <= 0) {
        return;
    }
    // Keeps the message loop turning until the time has come, without spinning:
    // a precise timer wakes the wait when nothing else arrives.
    QDeadlineTimer deadline(total, Qt::PreciseTimer);
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    while (!deadline.hasExpired()) {
        wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

bool TForm1::GetDragFullWindows() {
    return Env_.DragSetting->Get();
}

void TForm1::SetDragFullWindows(bool value) {
    Env_.DragSetting->Set(value);
}
