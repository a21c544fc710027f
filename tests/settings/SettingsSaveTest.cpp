// Saving TARVIK.INI: a save followed by a load in a new pair of windows gives back
// every setting; the rest of the file keeps its bytes; a file that can't be
// written abandons the close and leaves the program running.
#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>

#include "SettingsSupport.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

double DelayOf(int pin) {
    return 1.5 * pin + 0.25;
}

class SettingsRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(SettingsRoundTrip, EverySettingComesBack) {
    NumericLocale numeric(GetParam());
    ASSERT_TRUE(numeric.Ok()) << GetParam();
    QByteArray saved;
    {
        WindowHarness h;
        h.Open();
        TForm1& f = *h.form;
        TFrmSetup& s = *h.setup;
        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
            f.spin[p]->SetValue(DelayOf(p));
            if (p % 2 == 1) {
                f.btnDir2Click(f.btnDir[p]);  // odd pins switch downward
            }
        }
        f.btnTr[6]->SetPressed(true);
        s.rgrpPinInit->SetItemIndex(1);
        s.rgrpMouseButton->SetItemIndex(1);
        s.chkPreDirect->SetChecked(true);
        s.chkHintVisible->SetChecked(true);
        s.SpinStepTime->SetValue(0.35);
        s.SpinWin->SetValue(17);
        s.SpinTop->SetValue(33);
        f.IniFileWork(true);
        saved = ReadFile(h.IniPath());
        EXPECT_TRUE(h.boxes.empty());
    }
    // Decimal numbers are written with the locale's separator, shortest form.
    EXPECT_TRUE(saved.contains("TimePin3=" + Local("4.75").toLatin1() + "\r\n"))
        << saved.constData();
    EXPECT_TRUE(saved.contains("StepWindow=17\r\n")) << saved.constData();

    WindowHarness h;
    h.WriteIni(saved);
    h.Open();
    TForm1& f = *h.form;
    TFrmSetup& s = *h.setup;
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        EXPECT_DOUBLE_EQ(f.spin[p]->Value(), DelayOf(p)) << p;
        EXPECT_EQ(f.PinDirections[p], p % 2 == 0) << p;
        EXPECT_EQ(f.btnTr[p]->Pressed(), p == 6) << p;
    }
    EXPECT_EQ(f.TrayPinNumber, 6);
    EXPECT_EQ(s.rgrpPinInit->ItemIndex(), 1);
    EXPECT_EQ(s.rgrpMouseButton->ItemIndex(), 1);
    EXPECT_TRUE(s.chkPreDirect->Checked());
    EXPECT_TRUE(s.chkHintVisible->Checked());
    EXPECT_EQ(s.SpinStepTime->Text(), Local("0.35"));
    EXPECT_DOUBLE_EQ(f.spin[4]->Step(), 0.35);
    EXPECT_EQ(s.SpinWin->Text(), "17");
    EXPECT_EQ(s.SpinTop->Text(), "33");
    EXPECT_EQ(s.y(), f.y() - 33);
    EXPECT_TRUE(h.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Locales, SettingsRoundTrip, ::testing::Values(PointLocale, CommaLocale),
                         [](const auto& info) {
                             return std::string(info.param) == CommaLocale ? "DecimalComma"
                                                                           : "DecimalPoint";
                         });

TEST(SettingsSave, ForeignSectionsCommentsAndLineEndsKeepTheirBytes) {
    NumericLocale numeric(PointLocale);
    WindowHarness h;
    const QByteArray head =
        "; Tarvik \xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe8\r\n"  // bytes of another code page
        "[Other]\r\nFoo = bar \r\n\r\n"
        "[timer]\r\n; delays in seconds\r\nTimePin2=1\r\n";
    const QByteArray tail = "\r\n; last words of the timer\r\n[Tail]\nk=v\n";
    h.WriteIni(head + tail);
    h.Open();
    h.form->IniFileWork(true);

    QByteArray expected = head;
    for (int p = 3; p <= 9; ++p) {
        expected += "TimePin" + QByteArray::number(p) + "=0\r\n";  // after the section's last key
    }
    expected += tail;
    expected += "[Direction]\r\n";
    for (int p = 2; p <= 9; ++p) {
        expected += "DirectPin" + QByteArray::number(p) + "=1\r\n";
    }
    expected +=
        "[TrayIcon]\r\nTrayPin=2\r\n"
        "[Misc]\r\nPinInit=0\r\nMouseButton=0\r\nPreDirect=0\r\nHintVisible=0\r\n"
        "StepTime=1\r\nStepWindow=6\r\nWinTop=-14\r\n";
    EXPECT_EQ(ReadFile(h.IniPath()), expected);
    EXPECT_TRUE(h.boxes.empty());
}

TEST(SettingsSave, BlankBoundarySavesAsZero) {
    WindowHarness h;
    h.Open();
    h.setup->SpinTop->SetText(QString());
    h.form->IniFileWork(true);
    EXPECT_TRUE(ReadFile(h.IniPath()).endsWith("WinTop=0\r\n"));
}

// With no tray button pressed (a loaded 25 presses none) the pin goes back as it came.
TEST(SettingsSave, TrayPinWithoutAButtonIsSavedAsLoaded) {
    WindowHarness h;
    h.WriteIni("[TrayIcon]\r\nTrayPin=25\r\n");
    h.Open();
    h.form->IniFileWork(true);
    EXPECT_TRUE(ReadFile(h.IniPath()).contains("[TrayIcon]\r\nTrayPin=25\r\n"));
}

TEST(SettingsSave, ReadOnlyFileAbandonsTheCloseAndTheProgramGoesOn) {
    WindowHarness h;
    const QByteArray before = "[Misc]\r\nStepWindow=3\r\n";
    h.WriteIni(before);
    ASSERT_TRUE(
        QFile::setPermissions(h.IniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    h.Open();
    h.setup->SpinWin->SetValue(5);

    EXPECT_FALSE(h.form->close());
    EXPECT_EQ(ErrorTexts(h), QStringList{"Unable to write to " + h.IniPath()});
    EXPECT_TRUE(h.form->isVisible());
    EXPECT_TRUE(h.setup->isVisible());
    EXPECT_FALSE(Application->Terminated());
    EXPECT_EQ(ReadFile(h.IniPath()), before);
    EXPECT_TRUE(h.form->Timer1->isActive());

    // Still usable: the panel opens after the failed close.
    h.setup->SpinWin->SetValue(0);
    h.setup->btnSetupClick();
    EXPECT_EQ(h.setup->height(), 303);
    QFile::setPermissions(h.IniPath(), QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace
