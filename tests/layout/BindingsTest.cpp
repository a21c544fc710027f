// Which events of the main window's controls reach a handler: exactly the ones
// of the bindings table, and nothing else of any control.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QMetaMethod>
#include <QTimer>
#include <map>
#include <set>

#include "WindowHarness.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GradientPanel.h"
#include "widgets/ListImage.h"
#include "widgets/NotifyIcon.h"
#include "widgets/ShapedHint.h"
#include "widgets/ShellLauncher.h"

namespace {

// QObject::receivers is protected; a member pointer named through a subclass
// reads it for any object without pretending the object is of that subclass.
struct SignalPeek : QObject {
    static int Receivers(const QObject* o, const QMetaMethod& signal) {
        const QByteArray key = "2" + signal.methodSignature();
        constexpr auto receivers = &SignalPeek::receivers;  // int (QObject::*)(const char*) const
        return (o->*receivers)(key.constData());
    }
};

// The signals of o that have at least one receiver; destroyed is Qt's own
// bookkeeping (tool tips, guarded pointers), not an event of the control.
std::set<std::string> Bound(const QObject* o) {
    std::set<std::string> out;
    const QMetaObject* mo = o->metaObject();
    for (int i = 0; i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Signal && m.name() != "destroyed" &&
            SignalPeek::Receivers(o, m) > 0) {
            out.insert(m.name().toStdString());
        }
    }
    return out;
}

using Names = std::set<std::string>;

}  // namespace

TEST(LayoutBindings, OnlyTheTabledEventsOfTheControlsAreBound) {
    WindowHarness h;
    h.setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;
    env.Ports = &h.ports;
    env.IniPath = h.IniPath();
    env.HelpFolder = h.dir.path();
    env.UseInstanceGuard = false;
    env.UseTrayIcon = true;
    h.form = std::make_unique<TForm1>(env);
    TForm1* f = h.form.get();

    std::map<QString, Names> expected;
    expected["btnHelp"] = {"Clicked"};
    expected["btnHide"] = {"Clicked"};
    expected["btnClose"] = {"Clicked"};
    for (int p = 2; p <= 9; ++p) {
        const QString n = QString::number(p);
        expected["btnTr" + n] = {"Clicked"};
        expected["btnPoint" + n] = {"Clicked"};
        expected["btnDir" + n] = {"Clicked"};
        expected["pnlSpin" + n] = {};
        expected["spin" + n] = {"Change", "KeyPress"};
    }
    for (int pin = 1; pin <= 25; ++pin) {
        expected[QStringLiteral("imgPin%1").arg(pin)] = {};
    }
    expected["ComboBox1"] = {};
    expected["Timer1"] = {"timeout"};
    expected["Timer2"] = {"timeout"};
    expected["ShpHint1"] = {};
    expected["HelpLauncher"] = {"Error"};
    expected["TrayIcon"] = {"MouseUp", "AvailabilityChanged", "OwnerWithdrawn"};
    expected["keyHelp"] = {"activated"};
    for (int p = 2; p <= 9; ++p) {
        expected[QStringLiteral("keyPin%1").arg(p)] = {"activated"};
    }

    for (const auto& [name, bound] : expected) {
        const QObject* o = f->findChild<QObject*>(name);
        ASSERT_NE(o, nullptr) << name.toStdString();
        EXPECT_EQ(Bound(o), bound) << name.toStdString();
    }
    // Each bound control event has exactly one handler.
    EXPECT_EQ(SignalPeek::Receivers(f->btnPoint[5], QMetaMethod::fromSignal(&GlyphButton::Clicked)),
              1);
    EXPECT_EQ(SignalPeek::Receivers(f->spin[7], QMetaMethod::fromSignal(&FloatSpinEdit::Change)),
              1);
    EXPECT_EQ(SignalPeek::Receivers(f->Timer1, QMetaMethod::fromSignal(&QTimer::timeout)), 1);

    // The window's own events.
    EXPECT_TRUE(f->OnCreate && f->OnDestroy && f->OnClose && f->OnShow && f->OnHide && f->OnResize);
}

TEST(LayoutBindings, AToggleClickReachesItsOwnPinOnly) {
    WindowHarness h;
    h.PresentPorts({0x378});
    h.Open();
    const std::uint8_t before = h.ports.Value(0x378);
    h.Forget();
    h.form->btnPoint[5]->Click();
    const auto writes = h.Writes(0x378);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(), before ^ 0x08);  // pin 5 is data bit 3
}
