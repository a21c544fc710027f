// The options panel that slides out from behind the main window. Its option
// controls are the program's option model: the main window reads and writes them.
#pragma once

#include "framework/Form.h"

class BitmapButton;
class RangeSpinEdit;
class TransparentCheckBox;
class TransparentGroupBox;
class TransparentLabel;
class TransparentRadioGroup;
class WindowShape;

class TFrmSetup : public TForm {
    Q_OBJECT
public:
    TFrmSetup();
    ~TFrmSetup() override;

    // The lowest boundary at which the whole setup button shows above the main
    // window's body, and so the default: lower values would hide the only way in.
    static constexpr int MinimumBoundary = -14;
    static constexpr const char* DefaultBoundaryText = "-14";
    static constexpr int ClosedHeight = 80;

    WindowShape* SetupShape = nullptr;
    TransparentLabel* lblPanelTop = nullptr;
    BitmapButton* btnSetup = nullptr;
    TransparentRadioGroup* rgrpPinInit = nullptr;
    TransparentRadioGroup* rgrpMouseButton = nullptr;
    TransparentGroupBox* grpMisc = nullptr;
    TransparentLabel* lblSlideSpeed = nullptr;
    TransparentLabel* lblStepTime = nullptr;
    TransparentCheckBox* chkHintVisible = nullptr;
    RangeSpinEdit* SpinStepTime = nullptr;
    RangeSpinEdit* SpinWin = nullptr;
    TransparentCheckBox* chkPreDirect = nullptr;
    RangeSpinEdit* SpinTop = nullptr;

    void FormCreate();
    void btnSetupClick();
    void SpinStepTimeChange();

    // Repaints the option controls in the slide's order, the window first or last.
    void RepaintOptions(bool windowFirst);
    // While set, the window paints its whole area itself (no background erase).
    void SetOpaquePaint(bool on);

private:
    void BuildLayout();
};

extern TFrmSetup* FrmSetup;
