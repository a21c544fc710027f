// Builds the main window from its layout table and binds its events: nothing is
// bound that the bindings below do not name.
#include <QComboBox>
#include <QFont>
#include <QTimer>

#include "art/Art.h"
#include "framework/Application.h"
#include "framework/Fonts.h"
#include "framework/Tag.h"
#include "mainwindow/Form1Layout.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GlyphList.h"
#include "widgets/GradientPanel.h"
#include "widgets/ListImage.h"
#include "widgets/NotifyIcon.h"
#include "widgets/ShapedHint.h"
#include "widgets/ShellLauncher.h"
#include "widgets/SingleInstanceGuard.h"
#include "widgets/WindowSkin.h"

namespace {

GlyphList* MakeList(QObject* owner, const char* name, int count, QImage (*picture)(int)) {
    auto* list = new GlyphList(owner);
    list->setObjectName(QString::fromLatin1(name));
    for (int i = 0; i < count; ++i) {
        list->Add(picture(i));
    }
    return list;
}

void ApplyGlyphs(GlyphButton* b, const form1::Glyphs& g) {
    const std::pair<int, int> entries[] = {{GlyphButton::StateUp, g.normal},
                                           {GlyphButton::StatePressed, g.pressed},
                                           {GlyphButton::StateHot, g.hot},
                                           {GlyphButton::StateDisabled, g.disabled},
                                           {GlyphButton::StateLatched, g.latched}};
    for (auto [state, index] : entries) {
        if (index >= 0) {
            b->SetStateGlyph(state, index);
        }
    }
}

}  // namespace

void TForm1::BuildLayout() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarvik"));
    setWindowIcon(art::AppIcon());
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowSystemMenuHint);
    setFont(fonts::SansSerif11());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x008000));
    setPalette(pal);
    resize(form1::ClientWidth, form1::ClientHeight);

    ButtonGlyphs = MakeList(this, "ButtonGlyphs", art::ButtonGlyphCount(), &art::ButtonGlyph);
    PinPictures = MakeList(this, "PinPictures", art::PinPictureCount(), &art::PinPicture);

    // The single-instance guard acts while the components are built, before FormCreate.
    if (Env_.UseInstanceGuard) {
        InstanceGuard = new SingleInstanceGuard(QStringLiteral("Tarvik"), this);
        InstanceGuard->setObjectName(QStringLiteral("InstanceGuard"));
        InstanceGuard->SetMainWindow(this);
        // A second copy ends through the framework: its message loop then never runs.
        InstanceGuard->OnTerminate = [] { Application->Terminate(); };
    }

    MainSkin = new WindowSkin(this, art::MainSkin());
    MainSkin->setObjectName(QStringLiteral("MainSkin"));

    for (const form1::Control& c : form1::Controls()) {
        QWidget* parent = c.parent.isEmpty() ? this : findChild<QWidget*>(c.parent);
        QWidget* w = nullptr;
        switch (c.kind) {
            case form1::Kind::GlyphButton: {
                auto* b = new GlyphButton(parent);
                b->SetGlyphList(ButtonGlyphs);
                if (c.tag >= 97) {
                    b->SetGlyphList(PinPictures);
                    (c.tag == 97 ? btnHelp : c.tag == 98 ? btnHide : btnClose) = b;
                } else if (c.tag % 10 == 1) {
                    btnTr[c.pin] = b;
                } else if (c.tag % 10 == 2) {
                    btnPoint[c.pin] = b;
                } else {
                    btnDir[c.pin] = b;
                }
                ApplyGlyphs(b, c.glyphs);
                b->SetGroupIndex(c.group);
                if (!c.caption.isEmpty()) {
                    b->SetCaption(c.caption);
                    b->SetShowCaption(true);
                    b->SetCaptionHighlight(QColor(0xC0, 0xC0, 0xC0));
                    b->SetCaptionOffset(1);
                }
                w = b;
                break;
            }
            case form1::Kind::GradientPanel: {
                auto* panel = new GradientPanel(parent);
                panel->SetStartColor(QColor(0x2E3192));
                panel->SetEndColor(Qt::white);
                panel->SetColorSteps(37);
                pnlSpin[c.pin] = panel;
                w = panel;
                break;
            }
            case form1::Kind::FloatSpinEdit: {
                auto* edit = new FloatSpinEdit(parent);
                edit->SetDecimals(2);
                edit->SetMinimum(0);
                edit->SetMaximum(6000);
                edit->SetStep(0.25);
                edit->SetLargeStep(10);
                edit->SetFractionStep(10);
                edit->SetValue(0);
                // Flat and without a bevel: the panel's gradient is the edit's face.
                edit->SetFrameShown(false);
                edit->SetFlatButtons(true);
                edit->SetTransparent(true);
                edit->SetEditFont(fonts::Serif9());
                spin[c.pin] = edit;
                w = edit;
                break;
            }
            case form1::Kind::ListImage: {
                auto* image = new ListImage(parent);
                image->SetGlyphList(PinPictures);
                image->SetPictureIndex(c.picture);
                imgPin[c.pin] = image;
                w = image;
                break;
            }
        }
        w->setObjectName(c.name);
        w->setGeometry(c.left, c.top, c.width, c.height);
        SetTag(w, c.tag);
        w->setToolTip(c.hint);
    }
    // Tab order follows the delay panels, pin 2 first.
    for (int p = FirstDataPin; p < LastDataPin; ++p) {
        setTabOrder(spin[p], spin[p + 1]);
    }
    // Pins 2 and 3 were drawn pointing up; the settings load replaces all of them.
    for (int p = FirstDataPin; p <= LastDataPin; ++p) {
        PinDirections[p] = p <= 3;
    }

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(376, 104, 97, 21);
    ComboBox1->setEditable(false);
    ComboBox1->setVisible(false);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(100);

    ShpHint1 = new ShapedHint(this);
    ShpHint1->setObjectName(QStringLiteral("ShpHint1"));
    ShpHint1->SetStyle(hsNoseRect);
    ShpHint1->SetPosition(hpAboveLeft);
    ShpHint1->SetFont(fonts::SansSerif11());

    if (Env_.UseTrayIcon) {
        TrayIcon = new NotifyIcon(this);
        TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
        QList<QIcon> pictures;
        for (int i = 0; i < art::TrayPictureCount(); ++i) {
            pictures.append(art::TrayIcon(i));
        }
        TrayIcon->SetPictures(pictures);
        TrayIcon->SetPictureIndex(2);
        if (Env_.TrayAvailable) {
            TrayIcon->SetAvailabilityProbe(Env_.TrayAvailable);
        }
        BuildTrayMenu();
    }

    HelpLauncher = new ShellLauncher(this);
    HelpLauncher->setObjectName(QStringLiteral("HelpLauncher"));
    HelpLauncher->SetVerb(QStringLiteral("Open"));
}

void TForm1::BindEvents() {
    OnCreate = [this] { FormCreate(); };
    OnDestroy = [this] { FormDestroy(); };
    OnClose = [this](bool& accept) { FormClose(accept); };
    OnShow = [this] { FormShow(); };
    OnHide = [this] { FormHide(); };
    OnResize = [this] { FormResize(); };

    connect(btnHelp, &GlyphButton::Clicked, this, &TForm1::btnHelpClick);
    connect(btnHide, &GlyphButton::Clicked, this, &TForm1::btnHideClick);
    connect(btnClose, &GlyphButton::Clicked, this, &TForm1::btnCloseClick);
    for (int p = FirstDataPin; p <= LastDataPin; ++p) {
        GlyphButton* tray = btnTr[p];
        GlyphButton* point = btnPoint[p];
        GlyphButton* dir = btnDir[p];
        FloatSpinEdit* edit = spin[p];
        connect(tray, &GlyphButton::Clicked, this, [this, tray] { btnTr2Click(tray); });
        connect(point, &GlyphButton::Clicked, this, [this, point] { btnPoint2Click(point); });
        connect(dir, &GlyphButton::Clicked, this, [this, dir] { btnDir2Click(dir); });
        connect(edit, &FloatSpinEdit::Change, this, [this, edit] { Spin2Change(edit); });
        connect(
            edit, &FloatSpinEdit::KeyPress, this,
            [this, edit](QChar& key) { Spin2KeyPress(edit, key); }, Qt::DirectConnection);
    }
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    if (TrayIcon) {
        connect(TrayIcon, &NotifyIcon::MouseUp, this, &TForm1::TrayIconMouseUp);
        connect(TrayIcon, &NotifyIcon::AvailabilityChanged, this, &TForm1::TrayAvailabilityChanged);
        // A minimise withdrew this window into the tray: the setup window goes too.
        connect(TrayIcon, &NotifyIcon::OwnerWithdrawn, this, [this] {
            WithdrawnIntoTray_ = true;
            if (FrmSetup) {
                FrmSetup->hide();
            }
        });
    }
    BindKeys();
    connect(HelpLauncher, &ShellLauncher::Error, this, &TForm1::HelpLauncherError);
    // The skin's own drag stands in for the window messages of a move.
    connect(MainSkin, &WindowSkin::DragBegin, this, &TForm1::WmGetMinMaxInfo);
    connect(MainSkin, &WindowSkin::Moving, this, [this](QRect& r) { WmMoving(r); });
    connect(MainSkin, &WindowSkin::DragEnd, this, &TForm1::WmExitSizeMove);
}
