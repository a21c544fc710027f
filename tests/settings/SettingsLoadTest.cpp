// Loading TARVIK.INI: each scenario is one settings file brought up through the
// whole start-up, under a locale with a decimal point and one with a decimal comma.
#include <gtest/gtest.h>

#include <QTimer>
#include <functional>

#include "SettingsSupport.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

struct LoadCase {
    const char* name;
    QByteArray ini;  // empty: no file at all
    std::function<void(WindowHarness&)> check;
};

void ExpectTrayButtonOnly(WindowHarness& h, int pressed) {
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        EXPECT_EQ(h.form->btnTr[p]->Pressed(), p == pressed) << "btnTr" << p;
    }
}

void ExpectDelaySteps(WindowHarness& h, double step) {
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        EXPECT_DOUBLE_EQ(h.form->spin[p]->Step(), step) << "spin" << p;
    }
}

QByteArray LongValues() {
    // 2044 characters: read whole. 2048 characters: the last one is cut off.
    return "TimePin8=" + QByteArray(2040, '0') + "12.5\r\n" + "TimePin9=" + QByteArray(2046, '0') +
           "75\r\n";
}

const std::vector<LoadCase>& Cases() {
    static const std::vector<LoadCase> cases = {
        {"FreshStart",
         {},
         [](WindowHarness& h) {
             TFrmSetup& s = *h.setup;
             for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
                 EXPECT_EQ(h.form->spin[p]->Text(), Local("0.00")) << p;
                 EXPECT_TRUE(h.form->PinDirections[p]) << p;
             }
             ExpectTrayButtonOnly(h, 2);
             EXPECT_EQ(h.form->TrayPinNumber, 2);
             EXPECT_EQ(s.rgrpPinInit->ItemIndex(), 0);
             EXPECT_EQ(s.rgrpMouseButton->ItemIndex(), 0);
             EXPECT_FALSE(s.chkPreDirect->Checked());
             EXPECT_FALSE(s.chkHintVisible->Checked());
             EXPECT_EQ(s.SpinStepTime->Text(), Local("1.00"));
             ExpectDelaySteps(h, 1.0);
             EXPECT_EQ(s.SpinWin->Text(), "6");
             EXPECT_EQ(s.SpinTop->Text(), "-14");
             EXPECT_EQ(s.y(), h.form->y() + 14);
         }},
        {"NumbersDirectionsAndClamps",
         "[Timer]\r\nTimePin3=12,3456\r\nTimePin4=2.5e1\r\nTimePin5=abc\r\n"
         "TimePin6=Error\r\nTimePin7=12.3456\r\n" +
             LongValues() +
             "[Direction]\r\nDirectPin2=Error\r\nDirectPin3=error\r\nDirectPin4=0\r\n"
             "DirectPin5=yes\r\nDirectPin6=\r\nDirectPin8=1\r\n"
             "[TrayIcon]\r\nTrayPin=7\r\n"
             "[Misc]\r\nPinInit=-4\r\nMouseButton=5\r\nPreDirect=2\r\nHintVisible=TRUE\r\n"
             "StepTime=0.25\r\nStepWindow=2.5\r\nWinTop=-500\r\n",
         [](WindowHarness& h) {
             TForm1& f = *h.form;
             TFrmSetup& s = *h.setup;
             EXPECT_EQ(f.spin[2]->Text(), Local("0.00"));
             EXPECT_EQ(f.spin[3]->Text(), Local("12.35"));
             EXPECT_DOUBLE_EQ(f.spin[3]->Value(), 12.35);
             EXPECT_EQ(f.spin[4]->Text(), Local("25.00"));
             EXPECT_EQ(f.spin[5]->Text(), "0");
             EXPECT_DOUBLE_EQ(f.spin[5]->Value(), 0.0);
             EXPECT_EQ(f.spin[6]->Text(), Local("0.00"));  // "Error" is missing
             EXPECT_EQ(f.spin[7]->Text(), Local("12.35"));
             EXPECT_EQ(f.spin[8]->Text(), Local("12.50"));
             EXPECT_EQ(f.spin[9]->Text(), Local("7.00"));
             // "Error" counts as missing, but only spelled exactly so.
             const std::array<bool, 10> up{false, false, true, false, false,
                                           false, false, true, true,  true};
             for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
                 EXPECT_EQ(f.PinDirections[p], up[p]) << "DirectPin" << p;
             }
             ExpectTrayButtonOnly(h, 7);
             EXPECT_EQ(f.TrayPinNumber, 7);
             EXPECT_EQ(s.rgrpPinInit->ItemIndex(), -1);
             EXPECT_EQ(s.rgrpMouseButton->ItemIndex(), 1);
             EXPECT_TRUE(s.chkPreDirect->Checked());
             EXPECT_TRUE(s.chkHintVisible->Checked());
             EXPECT_EQ(s.SpinStepTime->Text(), Local("0.25"));
             ExpectDelaySteps(h, 0.25);
             EXPECT_EQ(s.SpinWin->Text(), "2");
             EXPECT_EQ(s.SpinTop->Text(), "-14");  // held at the lowest reachable boundary
             EXPECT_EQ(s.y(), f.y() + 14);
             // Neither the delays (loaded before PreDirect) nor PinInit -1 write the
             // port: only the two presence probes of 0x378.
             EXPECT_EQ(h.Writes(0x378).size(), 8u);
         }},
        {"HalvesToEvenAndTheLastItem",
         "[TrayIcon]\r\nTrayPin=1\r\n"
         "[Misc]\r\nPinInit=7\r\nMouseButton=-7\r\nHintVisible=2\r\nPreDirect=False\r\n"
         "StepTime=abc\r\nStepWindow=3.5\r\nWinTop=33.5\r\n",
         [](WindowHarness& h) {
             TFrmSetup& s = *h.setup;
             ExpectTrayButtonOnly(h, 2);
             EXPECT_EQ(h.form->TrayPinNumber, 2);
             EXPECT_EQ(s.rgrpPinInit->ItemIndex(), 2);
             EXPECT_EQ(h.Writes(0x378).back(), 0xFF);  // "Все в единицу" at start
             EXPECT_EQ(s.rgrpMouseButton->ItemIndex(), -1);
             EXPECT_TRUE(s.chkHintVisible->Checked());
             EXPECT_FALSE(s.chkPreDirect->Checked());
             // A step text that is no number loads as "0": a step of 0, unchecked.
             EXPECT_EQ(s.SpinStepTime->Text(), "0");
             ExpectDelaySteps(h, 0.0);
             EXPECT_EQ(s.SpinWin->Text(), "4");
             EXPECT_EQ(s.SpinTop->Text(), "34");
             EXPECT_EQ(s.y(), h.form->y() - 34);
         }},
        {"TrayLetterAndUpperClamp",
         "[TrayIcon]\r\nTrayPin=x\r\n[Misc]\r\nHintVisible=true\r\nStepWindow=250\r\n"
         "WinTop=-14.5\r\n",
         [](WindowHarness& h) {
             ExpectTrayButtonOnly(h, 2);
             EXPECT_EQ(h.form->TrayPinNumber, 2);
             EXPECT_TRUE(h.setup->chkHintVisible->Checked());
             EXPECT_EQ(h.setup->SpinWin->Text(), "100");
             EXPECT_EQ(h.setup->SpinTop->Text(), "-14");
         }},
        {"TrayEmptyAndLowerClamp",
         "[TrayIcon]\r\nTrayPin=\r\n[Misc]\r\nStepWindow=-3\r\nWinTop=-1e19\r\n",
         [](WindowHarness& h) {
             ExpectTrayButtonOnly(h, 2);
             EXPECT_EQ(h.form->TrayPinNumber, 2);
             EXPECT_EQ(h.setup->SpinWin->Text(), "0");
             EXPECT_EQ(h.setup->SpinTop->Text(), "-14");
         }},
        {"TrayBeyondTheButtonsAndHugeNumbers",
         "[TrayIcon]\r\nTrayPin=25\r\n[Misc]\r\nStepWindow=1e19\r\nWinTop=1e19\r\n",
         [](WindowHarness& h) {
             ExpectTrayButtonOnly(h, 0);
             EXPECT_EQ(h.form->TrayPinNumber, 25);
             // Beyond any whole number still above the range: its top.
             EXPECT_EQ(h.setup->SpinWin->Text(), "100");
             EXPECT_EQ(h.setup->SpinTop->Text(), "100");
         }},
        {"InvalidWholeNumbersAndBooleans",
         "[TrayIcon]\r\nTrayPin=2x\r\n[Misc]\r\nPinInit=x\r\nPreDirect=maybe\r\n"
         "HintVisible=1\r\nStepWindow=9\r\nWinTop=20\r\n",
         [](WindowHarness& h) {
             EXPECT_EQ(ErrorTexts(h), (QStringList{"'2x' is not a valid integer value",
                                                   "'x' is not a valid integer value",
                                                   "'maybe' is not a valid boolean value"}));
             // The keys after the failing ones are loaded ...
             EXPECT_TRUE(h.setup->chkHintVisible->Checked());
             EXPECT_EQ(h.setup->SpinWin->Text(), "9");
             // ... and the rest of start-up ran in full.
             EXPECT_EQ(h.form->PinSpins[9], h.form->spin[9]);
             EXPECT_TRUE(h.form->Timer1->isActive());
             EXPECT_TRUE(h.form->Timer2->isActive());
             EXPECT_EQ(h.setup->y(), h.form->y() - 20);
             EXPECT_EQ(h.setup->x(), h.form->x() + TForm1::SetupLeftOffset);
             EXPECT_TRUE(h.form->isVisible());
         }},
    };
    return cases;
}

class SettingsLoad : public ::testing::TestWithParam<std::tuple<std::size_t, const char*>> {};

TEST_P(SettingsLoad, GivesTheControlsTheirValues) {
    const auto& [index, locale] = GetParam();
    NumericLocale numeric(locale);
    ASSERT_TRUE(numeric.Ok()) << locale << " is not installed (scripts/lib.sh ensure_locale)";
    const LoadCase& c = Cases()[index];
    WindowHarness h;
    h.PresentPorts({0x378});
    if (!c.ini.isEmpty()) {
        h.WriteIni(c.ini);
    }
    h.Open();
    c.check(h);
    if (std::string(c.name) != "InvalidWholeNumbersAndBooleans") {
        EXPECT_TRUE(ErrorTexts(h).isEmpty()) << ErrorTexts(h).join(u'\n').toStdString();
    }
}

std::string CaseName(const ::testing::TestParamInfo<SettingsLoad::ParamType>& info) {
    const auto& [index, locale] = info.param;
    return std::string(Cases()[index].name) +
           (std::string(locale) == CommaLocale ? "_DecimalComma" : "_DecimalPoint");
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsLoad,
                         ::testing::Combine(::testing::Range<std::size_t>(0, Cases().size()),
                                            ::testing::Values(PointLocale, CommaLocale)),
                         CaseName);

}  // namespace
