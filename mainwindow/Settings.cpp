// TARVIK.INI, wherever platform/FileLocations.h puts it: every key, in the order
// it is written and read.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <array>
#include <functional>

#include "framework/Application.h"
#include "framework/Conversions.h"
#include "mainwindow/Unit1.h"
#include "platform/FileLocations.h"
#include "platform/FloatText.h"
#include "platform/ProfileStrings.h"
#include "setup/Setup.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/TransparentCheckBox.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

constexpr const char* MissingMarker = "Error";
constexpr std::uint32_t ReadBufferSize = 2048;

// One key of the file: where it lives, its default, and how it moves between the
// file and the windows.
struct Key {
    const char* section;
    QString name;
    const char* fallback;
    std::function<QString()> save;
    std::function<void(const QString&)> load;
};

QString Normalized(const QString& value, int decimals) {
    return QString::fromStdString(platform::NormalizeFloatText(value.toStdString(), decimals));
}

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

std::vector<Key> Keys(TForm1& f, TFrmSetup& s) {
    std::vector<Key> keys;
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        keys.push_back({"Timer", QStringLiteral("TimePin%1").arg(p), "0",
                        [&f, p] { return FloatToStr(f.spin[p]->Value()); },
                        [&f, p](const QString& v) { f.spin[p]->SetText(Normalized(v, 2)); }});
    }
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        keys.push_back({"Direction", QStringLiteral("DirectPin%1").arg(p), "1",
                        [&f, p] { return Flag(f.PinDirections[p]); },
                        [&f, p](const QString& v) {
                            // The click handler inverts the flag and sets the faces to match.
                            f.PinDirections[p] = v != QLatin1String("1");
                            f.btnDir2Click(f.btnDir[p]);
                        }});
    }
    keys.push_back({"TrayIcon", QStringLiteral("TrayPin"), "2",
                    [&f] {
                        int pin = f.TrayPinNumber;  // kept as it was when no button is pressed
                        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
                            if (f.btnTr[p]->Pressed()) {
                                pin = p;
                            }
                        }
                        return IntToStr(pin);
                    },
                    [&f](QString v) {
                        if (v.isEmpty() || v[0] < u'2' || v[0] > u'9') {
                            v = QStringLiteral("2");
                        }
                        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
                            if (v == QString::number(p)) {
                                f.btnTr[p]->SetPressed(true);
                            }
                        }
                        f.TrayPinNumber = StrToInt(v);
                    }});
    keys.push_back({"Misc", QStringLiteral("PinInit"), "0",
                    [&s] { return IntToStr(s.rgrpPinInit->ItemIndex()); },
                    [&s](const QString& v) { s.rgrpPinInit->SetItemIndex(StrToInt(v)); }});
    keys.push_back({"Misc", QStringLiteral("MouseButton"), "0",
                    [&s] { return IntToStr(s.rgrpMouseButton->ItemIndex()); },
                    [&s](const QString& v) { s.rgrpMouseButton->SetItemIndex(StrToInt(v)); }});
    keys.push_back({"Misc", QStringLiteral("PreDirect"), "0",
                    [&s] { return Flag(s.chkPreDirect->Checked()); },
                    [&s](const QString& v) { s.chkPreDirect->SetChecked(StrToBool(v)); }});
    keys.push_back({"Misc", QStringLiteral("HintVisible"), "0",
                    [&s] { return Flag(s.chkHintVisible->Checked()); },
                    [&s](const QString& v) { s.chkHintVisible->SetChecked(StrToBool(v)); }});
    keys.push_back({"Misc", QStringLiteral("StepTime"), "1",
                    [&s] { return FloatToStr(s.SpinStepTime->Value()); },
                    [&s](const QString& v) { s.SpinStepTime->SetText(Normalized(v, 2)); }});
    keys.push_back({"Misc", QStringLiteral("StepWindow"), "6",
                    [&s] { return FloatToStr(s.SpinWin->Value()); },
                    [&s](const QString& v) {
                        s.SpinWin->SetValue(double(Round(StrToFloat(Normalized(v, 0)))));
                    }});
    keys.push_back({"Misc", QStringLiteral("WinTop"), TFrmSetup::DefaultBoundaryText,
                    [&s] { return FloatToStr(s.SpinTop->Value()); },
                    [&s](const QString& v) {
                        s.SpinTop->SetValue(double(Round(StrToFloat(Normalized(v, 0)))));
                    }});
    return keys;
}

}  // namespace

QString TForm1::IniPath(bool save) const {
    if (!Env_.IniPath.isEmpty()) {
        return Env_.IniPath;
    }
    const platform::SettingsFiles files = platform::NativeSettingsFiles(
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    return QFile::decodeName(QByteArray::fromStdString(save ? files.save : files.load));
}

void TForm1::IniFileWork(bool save) {
    const QString shownPath = IniPath(save);
    const QByteArray path = QFile::encodeName(shownPath);
    if (save) {
        // A failure here shows as the first key that cannot be written.
        platform::PrepareSettingsSave(
            {QFile::encodeName(IniPath(false)).toStdString(), path.toStdString()});
    }
    for (const Key& key : Keys(*this, *FrmSetup)) {
        const QByteArray name = key.name.toLatin1();
        if (save) {
            const QByteArray text = key.save().toLocal8Bit();
            if (!platform::WritePrivateProfileText(key.section, name.constData(), text.constData(),
                                                   path.constData())) {
                // Saving stops at the first key that cannot be written.
                // The path as the user's system writes it (C:\... on Windows).
                throw EIniFileException("Unable to write to " +
                                        QDir::toNativeSeparators(shownPath).toStdString());
            }
            continue;
        }
        std::array<char, ReadBufferSize> buffer{};
        const std::uint32_t n =
            platform::GetPrivateProfileText(key.section, name.constData(), MissingMarker,
                                            buffer.data(), ReadBufferSize, path.constData());
        QString value = QString::fromLocal8Bit(buffer.data(), static_cast<qsizetype>(n));
        if (value == QLatin1String(MissingMarker)) {
            value = QString::fromLatin1(key.fallback);
        }
        // A value that is no valid number or Boolean is reported; the load goes on, so
        // the rest of start-up still runs in full.
        try {
            key.load(value);
        } catch (const EConvertError& e) {
            Application->ShowException(QString::fromUtf8(e.what()));
        }
    }
}
