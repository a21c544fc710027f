#include "setup/Setup.h"

#include "art/Art.h"
#include "framework/Fonts.h"
#include "mainwindow/Unit1.h"
#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentGroupBox.h"
#include "widgets/TransparentLabel.h"
#include "widgets/TransparentRadioGroup.h"
#include "widgets/WindowShape.h"

TFrmSetup* FrmSetup = nullptr;

namespace {

struct Spin {
    double minimum, maximum, value, increment;
    int decimals;
    bool typing, blankAllowed;
};

void ConfigureSpin(RangeSpinEdit* e, const Spin& s) {
    e->SetDecimals(s.decimals);
    e->SetWholeNumbersOnly(s.decimals == 0);
    e->SetMinimum(s.minimum);
    e->SetMaximum(s.maximum);
    e->SetIncrement(s.increment);
    e->SetPageSize(10);
    e->SetKeepWithinRange(true);
    e->SetBlankAllowed(s.blankAllowed);
    e->SetTypingAllowed(s.typing);
    e->SetTabStop(false);  // Tab never moves into the spin edits
    e->SetValue(s.value);
}

template <typename W>
W* Place(W* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
    return w;
}

}  // namespace

TFrmSetup::TFrmSetup() {
    FrmSetup = this;
    BuildLayout();
    OnCreate = [this] { FormCreate(); };
    connect(btnSetup, &BitmapButton::Clicked, this, &TFrmSetup::btnSetupClick);
    connect(SpinStepTime, &RangeSpinEdit::Change, this, &TFrmSetup::SpinStepTimeChange);
    DoCreate();
}

TFrmSetup::~TFrmSetup() {
    DoDestroy();
    if (FrmSetup == this) {
        FrmSetup = nullptr;
    }
}

void TFrmSetup::BuildLayout() {
    setObjectName(QStringLiteral("FrmSetup"));
    setWindowTitle(QStringLiteral("Setup"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // It appears and comes back together with the main window, which keeps the focus.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(fonts::SansSerif11());
    resize(330, 270);

    // In creation order: later controls lie above earlier ones.
    SetupShape = new WindowShape(this, art::SetupShape());
    SetupShape->setObjectName(QStringLiteral("SetupShape"));

    lblPanelTop = Place(new TransparentLabel(this), "lblPanelTop", 216, 32, 93, 27);
    lblPanelTop->SetCaption(QString::fromUtf8("Верх.граница \rпанели настройки"));

    btnSetup = Place(new BitmapButton(this), "btnSetup", 286, 5, 16, 16);
    btnSetup->SetTransparentColor(QColor(0x00FF00));
    btnSetup->SetBitmaps(art::PinPicture(16), art::PinPicture(16), art::PinPicture(17),
                         art::PinPicture(18));
    btnSetup->setToolTip(QString::fromUtf8("Настройка параметров"));

    rgrpPinInit = Place(new TransparentRadioGroup(this), "rgrpPinInit", 18, 26, 295, 65);
    rgrpPinInit->SetCaption(QString::fromUtf8("При старте программы"));
    rgrpPinInit->SetItems({QString::fromUtf8("Текущее состояние"), QString::fromUtf8("Все в ноль"),
                           QString::fromUtf8("Все в единицу")});
    rgrpPinInit->SetItemIndex(0);

    rgrpMouseButton = Place(new TransparentRadioGroup(this), "rgrpMouseButton", 17, 200, 297, 54);
    rgrpMouseButton->SetCaption(QString::fromUtf8("Кнопки мыши в SystemTray"));
    rgrpMouseButton->SetItems(
        {QString::fromUtf8("Левая - переключение, Правая - показать/скрыть"),
         QString::fromUtf8("Левая - показать/скрыть, Правая - переключение")});
    rgrpMouseButton->SetItemIndex(0);

    grpMisc = Place(new TransparentGroupBox(this), "grpMisc", 17, 93, 297, 102);
    grpMisc->SetCaption(QString::fromUtf8("Разное"));

    lblSlideSpeed = Place(new TransparentLabel(grpMisc), "lblSlideSpeed", 64, 80, 197, 14);
    lblSlideSpeed->SetCaption(QString::fromUtf8("Скорость движения панели настройки"));
    lblStepTime = Place(new TransparentLabel(grpMisc), "lblStepTime", 65, 48, 110, 27);
    lblStepTime->SetCaption(QString::fromUtf8("Шаг изменения\rвременной задержки"));
    chkHintVisible = Place(new TransparentCheckBox(grpMisc), "chkHintVisible", 8, 31, 193, 17);
    chkHintVisible->SetText(QString::fromUtf8("Подсказки всплывающие"));
    SpinStepTime = Place(new RangeSpinEdit(grpMisc), "SpinStepTime", 7, 50, 47, 21);
    ConfigureSpin(SpinStepTime, {0.05, 10, 0.05, 0.05, 2, true, false});
    SpinWin = Place(new RangeSpinEdit(grpMisc), "SpinWin", 7, 77, 47, 21);
    ConfigureSpin(SpinWin, {0, 100, 1, 1, 0, false, false});
    chkPreDirect = Place(new TransparentCheckBox(grpMisc), "chkPreDirect", 8, 13, 249, 17);
    chkPreDirect->SetText(QString::fromUtf8("Предустановка направления включения"));

    SpinTop = Place(new RangeSpinEdit(this), "SpinTop", 167, 37, 47, 21);
    ConfigureSpin(SpinTop, {MinimumBoundary, 100, MinimumBoundary, 1, 0, true, true});

    // Tab order among the controls that take it.
    setTabOrder(btnSetup, rgrpPinInit);
    setTabOrder(rgrpPinInit, rgrpMouseButton);
    setTabOrder(rgrpMouseButton, grpMisc);
    setTabOrder(chkPreDirect, chkHintVisible);
}

void TFrmSetup::FormCreate() {
    resize(width(), ClosedHeight);
}

void TFrmSetup::btnSetupClick() {
    // The button stays disabled while the panel slides, and is enabled again however it ends.
    struct Reenable {
        BitmapButton* b;
        ~Reenable() { b->setEnabled(true); }
    } reenable{btnSetup};
    btnSetup->setEnabled(false);
    Form1->SetupMove();
}

void TFrmSetup::SpinStepTimeChange() {
    if (Form1 == nullptr) {
        return;
    }
    const double step = SpinStepTime->Value();
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        Form1->spin[p]->SetStep(step);
    }
}

void TFrmSetup::RepaintOptions(bool windowFirst) {
    if (windowFirst) {
        repaint();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{chkHintVisible, chkPreDirect, lblStepTime,
                                                      lblSlideSpeed, SpinStepTime, SpinWin, grpMisc,
                                                      rgrpMouseButton, rgrpPinInit}) {
        w->repaint();
    }
    if (!windowFirst) {
        repaint();
    }
}

void TFrmSetup::SetOpaquePaint(bool on) {
    setAttribute(Qt::WA_OpaquePaintEvent, on);
}
