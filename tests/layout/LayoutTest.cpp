// The built main window against the drawing it must match: every control's
// name, exact kind, place, tag, hint and pictures, with the expected values
// worked out here from the skin's geometry rather than read from the layout.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTimer>

#include "WindowHarness.h"
#include "framework/Fonts.h"
#include "framework/Tag.h"
#include "mainwindow/Form1Layout.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GradientPanel.h"
#include "widgets/ListImage.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/ShapedHint.h"
#include "widgets/ShellLauncher.h"
#include "widgets/SpinArrowButton.h"
#include "widgets/WindowSkin.h"

namespace {

QString Lines(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* l : lines)
        out << QString::fromUtf8(l);
    return out.join(QLatin1Char('\n'));
}

QString ForPin(QString text, int p) {
    return text.replace(QStringLiteral("Pin2"), QStringLiteral("Pin%1").arg(p));
}

// Looks a control up by name and checks it is exactly of the named class.
template <class T>
T* Control(QWidget* form, const QString& name, const char* className) {
    auto* w = form->findChild<QWidget*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    if (!w)
        return nullptr;
    EXPECT_STREQ(w->metaObject()->className(), className) << name.toStdString();
    return qobject_cast<T*>(w);
}

struct Glyphs {
    int up, pressed, hot, disabled, latched;
};

void ExpectGlyphs(const GlyphButton* b, Glyphs g) {
    EXPECT_EQ(b->StateGlyph(GlyphButton::StateUp), g.up) << b->objectName().toStdString();
    EXPECT_EQ(b->StateGlyph(GlyphButton::StatePressed), g.pressed) << b->objectName().toStdString();
    EXPECT_EQ(b->StateGlyph(GlyphButton::StateHot), g.hot) << b->objectName().toStdString();
    EXPECT_EQ(b->StateGlyph(GlyphButton::StateDisabled), g.disabled)
        << b->objectName().toStdString();
    EXPECT_EQ(b->StateGlyph(GlyphButton::StateLatched), g.latched) << b->objectName().toStdString();
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override { h.Open(); }
    WindowHarness h;
    TForm1* f() { return h.form.get(); }
};

const form1::Control* Entry(const QString& name) {
    for (const auto& c : form1::Controls()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

}  // namespace

TEST_F(Layout, WindowIsAFixedFramelessOnTopSkinOfTheSkinPictureSize) {
    EXPECT_EQ(f()->objectName(), "Form1");
    EXPECT_STREQ(f()->metaObject()->className(), "TForm1");
    EXPECT_EQ(f()->windowTitle(), "Tarvik");
    EXPECT_EQ(f()->size(), QSize(495, 135));
    EXPECT_EQ(f()->minimumSize(), QSize(495, 135));
    EXPECT_EQ(f()->maximumSize(), QSize(495, 135));
    EXPECT_TRUE(f()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(f()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(f()->windowIcon().isNull());
    EXPECT_EQ(f()->palette().color(QPalette::Window), QColor(0x008000));
    EXPECT_EQ(f()->font().pixelSize(), 11);
    ASSERT_NE(f()->MainSkin, nullptr);
    EXPECT_EQ(f()->MainSkin->objectName(), "MainSkin");
}

TEST_F(Layout, TitleButtonsSitOnTheDiscsOfTheTab) {
    const struct {
        const char* name;
        int tag, firstGlyph;
        QString hint;
    } titles[] = {
        {"btnHelp", 97, 0, Lines({"Помощь (F1)"})},
        {"btnHide", 98, 3, Lines({"Свернуть программу в Tray", "(туда где часики...)"})},
        {"btnClose", 99, 6, Lines({"Закрыть программу"})},
    };
    for (int i = 0; i < 3; ++i) {
        const auto& t = titles[i];
        auto* b = Control<GlyphButton>(f(), QString::fromLatin1(t.name), "GlyphButton");
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->geometry(), QRect(423 + 24 * i, 5, 16, 16)) << t.name;
        EXPECT_EQ(TagOf(b), t.tag);
        EXPECT_EQ(b->toolTip(), t.hint);
        EXPECT_EQ(b->List(), f()->PinPictures);
        ExpectGlyphs(b, {t.firstGlyph, t.firstGlyph + 1, t.firstGlyph + 2, -1, -1});
        EXPECT_FALSE(b->ShowCaption());
        EXPECT_TRUE(b->AutoSize());
        EXPECT_TRUE(b->MouseOverTracking());
    }
    EXPECT_EQ(f()->btnHide->toolTip().split(QLatin1Char('\n')).size(), 2);
}

TEST_F(Layout, EachChannelStandsOnItsArchAndSlot) {
    for (int p = 2; p <= 9; ++p) {
        SCOPED_TRACE(p);
        const int x = 10 + 60 * (p - 2);
        const QString n = QString::number(p);

        auto* tray = Control<GlyphButton>(f(), "btnTr" + n, "GlyphButton");
        auto* point = Control<GlyphButton>(f(), "btnPoint" + n, "GlyphButton");
        auto* dir = Control<GlyphButton>(f(), "btnDir" + n, "GlyphButton");
        auto* panel = Control<GradientPanel>(f(), "pnlSpin" + n, "GradientPanel");
        auto* edit = Control<FloatSpinEdit>(f(), "spin" + n, "FloatSpinEdit");
        ASSERT_TRUE(tray && point && dir && panel && edit);
        EXPECT_EQ(tray, f()->btnTr[p]);
        EXPECT_EQ(point, f()->btnPoint[p]);
        EXPECT_EQ(dir, f()->btnDir[p]);
        EXPECT_EQ(edit, f()->spin[p]);

        // Tray, toggle and direction buttons form one pill over the arch.
        EXPECT_EQ(tray->geometry(), QRect(x, 44, 17, 20));
        EXPECT_EQ(point->geometry(), QRect(x + 17, 42, 22, 22));
        EXPECT_EQ(dir->geometry(), QRect(x + 39, 44, 17, 20));
        EXPECT_EQ(TagOf(tray), 10 * p + 1);
        EXPECT_EQ(TagOf(point), 10 * p + 2);
        EXPECT_EQ(TagOf(dir), 10 * p + 3);

        EXPECT_EQ(tray->toolTip(),
                  ForPin(Lines({"Назначить отображение Pin2 в Tray", "(туда где часики)"}), p));
        EXPECT_EQ(
            point->toolTip(),
            ForPin(Lines({"Pin2 Изменение состояния", "1 - Красный", "0- Желтый", "клавиша F2"}), p)
                .replace(QStringLiteral("F2"), QStringLiteral("F%1").arg(p)));
        EXPECT_EQ(dir->toolTip(),
                  ForPin(Lines({"Направление переключения Pin2", "с временной задержкой"}), p));

        for (auto* b : {tray, point, dir}) {
            EXPECT_EQ(b->List(), f()->ButtonGlyphs);
            EXPECT_TRUE(b->AutoSize());
            EXPECT_TRUE(b->MouseOverTracking());
        }
        ExpectGlyphs(tray, {6, 7, 9, -1, 8});
        EXPECT_EQ(tray->GroupIndex(), 20);
        EXPECT_FALSE(tray->AllowAllUp());
        EXPECT_EQ(point->GroupIndex(), 0);
        EXPECT_EQ(dir->GroupIndex(), 0);

        // Only the toggle shows a caption: its pin's digit.
        EXPECT_TRUE(point->ShowCaption());
        EXPECT_EQ(point->Caption(), n);
        EXPECT_FALSE(tray->ShowCaption());
        EXPECT_FALSE(dir->ShowCaption());
        EXPECT_TRUE(tray->Caption().isEmpty());
        EXPECT_TRUE(dir->Caption().isEmpty());

        // The panel of pin 3 stands two pixels left of its slot.
        const int panelLeft = p == 3 ? 70 : x + 2;
        EXPECT_EQ(panel->parentWidget(), f());
        EXPECT_EQ(panel->geometry(), QRect(panelLeft, 70, 52, 15));
        EXPECT_EQ(TagOf(panel), 0);
        EXPECT_TRUE(panel->toolTip().isEmpty());
        EXPECT_EQ(panel->StartColor(), QColor(0x2E3192));
        EXPECT_EQ(panel->EndColor(), QColor(Qt::white));
        EXPECT_EQ(panel->ColorSteps(), 37);

        EXPECT_EQ(edit->parentWidget(), panel);
        EXPECT_EQ(edit->geometry(), QRect(0, 0, 52, 15));
        EXPECT_EQ(TagOf(edit), p);
        EXPECT_EQ(
            edit->toolTip(),
            ForPin(Lines({"Pin2 Временная задержка в мсек.", "при переключении состояния"}), p));
        EXPECT_EQ(edit->Decimals(), 2);
        EXPECT_EQ(edit->Minimum(), 0);
        EXPECT_EQ(edit->Maximum(), 6000);
        // The settings load gives every delay edit the setup window's step.
        EXPECT_EQ(edit->Step(), FrmSetup->SpinStepTime->Value());
        EXPECT_EQ(edit->LargeStep(), 10);
        EXPECT_EQ(edit->FractionStep(), 10);
        EXPECT_TRUE(edit->Transparent());
        EXPECT_FALSE(edit->FrameShown());
        EXPECT_TRUE(edit->UpButton()->Flat());
        ASSERT_NE(edit->Editor(), nullptr);
        EXPECT_TRUE(edit->Editor()->alignment() & Qt::AlignRight);
        EXPECT_EQ(edit->Editor()->cursor().shape(), Qt::IBeamCursor);
        EXPECT_EQ(edit->Editor()->font().pixelSize(), 9);
        EXPECT_EQ(edit->Editor()->font().families(), fonts::Serif9().families());
    }
}

TEST_F(Layout, TheDesignTableHoldsTheStartStateTheLoadLaterChanges) {
    // The settings load presses a tray button and redraws the toggles, so the
    // design state is read from the table the window is built from.
    for (int p = 2; p <= 9; ++p) {
        const auto* tray = Entry(QStringLiteral("btnTr%1").arg(p));
        const auto* point = Entry(QStringLiteral("btnPoint%1").arg(p));
        ASSERT_TRUE(tray && point);
        EXPECT_EQ(tray->glyphs.latched, 8);
        EXPECT_EQ(tray->group, 20);
        EXPECT_EQ(point->glyphs.normal, 0);  // red: level 1
        EXPECT_EQ(point->glyphs.disabled, 16);
        EXPECT_EQ(Entry(QStringLiteral("btnDir%1").arg(p))->glyphs.normal, 10);
    }
    for (int pin = 1; pin <= 25; ++pin) {
        const auto* image = Entry(QStringLiteral("imgPin%1").arg(pin));
        ASSERT_NE(image, nullptr);
        const bool data = pin >= 2 && pin <= 9;
        const bool control = pin == 1 || pin == 14 || pin == 16 || pin == 17;
        const bool status = (pin >= 10 && pin <= 13) || pin == 15;
        EXPECT_EQ(image->picture, data ? 9 : control ? 12 : status ? 14 : 15) << pin;
    }
}

TEST(LayoutLoad, TheLoadLatchesExactlyTheTrayButtonOfItsPin) {
    WindowHarness h;
    h.WriteIni("[TrayIcon]\r\nTrayPin=6\r\n");
    h.Open();
    for (int p = 2; p <= 9; ++p) {
        EXPECT_EQ(h.form->btnTr[p]->Pressed(), p == 6) << p;
        EXPECT_EQ(h.form->btnTr[p]->DrawnGlyph(), p == 6 ? 8 : 6) << p;
    }
}

TEST_F(Layout, PinDirectionsAreUpForPins2And3OnlyBeforeTheLoad) {
    // Without a settings file the load sets every direction flag to its default.
    for (int p = 2; p <= 9; ++p) {
        EXPECT_EQ(f()->btnDir[p]->StateGlyph(GlyphButton::StateUp), f()->PinDirections[p] ? 10 : 13)
            << p;
    }
}

TEST_F(Layout, ThePinImagesLieOnTheHolesOfTheConnector) {
    const char* names[26] = {nullptr,
                             "Pin 1 - STROBE (Контрольный бит)",
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             "Pin10 - ACKNLG (Входной бит)\nПринято",
                             "Pin11 - BUSY (Входной бит)\nЗанято",
                             "Pin12 - PaperEnd (Входной бит)\nНет бумаги",
                             "Pin13 - SELECT (Входной бит)\nВыбор",
                             "Pin14 - AUTO FEED XT (Контрольный бит)\n(Авто-перевод строки)",
                             "Pin15 - n.c. (Входной бит)",
                             "Pin16 - 0V (Контрольный бит)\n(Логичексая земля)",
                             "Pin17 - CHASSIS GND (Контрольный бит)\nШасси (земля)",
                             "Pin18 - n.c."};
    int controlTag = 51;
    int statusTag = 71;
    for (int pin = 1; pin <= 25; ++pin) {
        SCOPED_TRACE(pin);
        auto* image = Control<ListImage>(f(), QStringLiteral("imgPin%1").arg(pin), "ListImage");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image, f()->imgPin[pin]);
        const bool upper = pin <= 13;
        const QRect hole = upper ? QRect(177 + 11 * (pin - 1), 102, 8, 8)
                                 : QRect(183 + 11 * (pin - 14), 115, 8, 8);
        EXPECT_EQ(image->geometry(), hole);
        EXPECT_EQ(image->List(), f()->PinPictures);

        const bool data = pin >= 2 && pin <= 9;
        const bool control = pin == 1 || pin == 14 || pin == 16 || pin == 17;
        const bool status = (pin >= 10 && pin <= 13) || pin == 15;
        const int tag = data      ? 60 + pin
                        : control ? controlTag++
                        : status  ? statusTag++
                                  : 80 + pin - 17;
        EXPECT_EQ(TagOf(image), tag);

        QString hint;
        if (data) {
            hint = QStringLiteral("Pin%1 - DATA %2 (Выходной бит)\nлиния данных %2")
                       .arg(pin)
                       .arg(pin - 1);
        } else if (pin >= 19) {
            hint = QStringLiteral("Pin%1 - GND\n(Сигнальная земля)").arg(pin);
        } else {
            hint = QString::fromUtf8(names[pin]);
        }
        EXPECT_EQ(image->toolTip(), hint);

        // Ground and unconnected pins never change; the others follow the port.
        if (!data && !control && !status) {
            EXPECT_EQ(image->PictureIndex(), 15);
        }
        if (data) {
            EXPECT_TRUE(image->PictureIndex() == 9 || image->PictureIndex() == 10);
        }
    }
    EXPECT_EQ(controlTag, 55);
    EXPECT_EQ(statusTag, 76);
}

TEST_F(Layout, ThePortSelectorIsAHiddenPickOnlyList) {
    auto* box = Control<QComboBox>(f(), QStringLiteral("ComboBox1"), "QComboBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->geometry(), QRect(376, 104, 97, 21));
    EXPECT_FALSE(box->isEditable());
    EXPECT_TRUE(box->isHidden());
    f()->show();
    EXPECT_FALSE(box->isVisible());
}

TEST_F(Layout, TimersTickEveryTenthOfASecondAndTheHintIsANosedRectangle) {
    for (QTimer* t : {f()->Timer1, f()->Timer2}) {
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->interval(), 100);
        EXPECT_TRUE(t->isActive());  // started by FormCreate
    }
    EXPECT_EQ(f()->Timer1->objectName(), "Timer1");
    EXPECT_EQ(f()->Timer2->objectName(), "Timer2");
    ASSERT_NE(f()->ShpHint1, nullptr);
    EXPECT_EQ(f()->ShpHint1->Position(), hpAboveLeft);
    EXPECT_EQ(f()->ShpHint1->Font().pixelSize(), 11);
    // Until a hint is shown, the look is the one the hint was built with.
    EXPECT_EQ(f()->ShpHint1->Style(), hsNoseRect);
    EXPECT_EQ(f()->ShpHint1->Color(), f()->palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(f()->ShpHint1->FontColor(), f()->palette().color(QPalette::ToolTipText));
    EXPECT_EQ(f()->ShpHint1->BorderColor(), QColor(Qt::black));
    ASSERT_NE(f()->ButtonGlyphs, nullptr);
    ASSERT_NE(f()->PinPictures, nullptr);
    EXPECT_EQ(f()->ButtonGlyphs->Count(), 18);
    EXPECT_EQ(f()->PinPictures->Count(), 22);
    ASSERT_NE(f()->HelpLauncher, nullptr);
    EXPECT_EQ(f()->HelpLauncher->objectName(), "HelpLauncher");
}

TEST(LayoutFonts, BothFacesExistAtTheirPixelHeightsWithCyrillic) {
    for (const QFont& font : {fonts::SansSerif11(), fonts::Serif9()}) {
        const QFontInfo info(font);
        EXPECT_EQ(info.pixelSize(), font.pixelSize()) << info.family().toStdString();
        EXPECT_TRUE(font.families().contains(info.family())) << info.family().toStdString();
        const QFontMetrics m(font);
        for (char32_t ch : {U'Я', U'ж', U'Ш', U'ё'}) {
            EXPECT_TRUE(m.inFontUcs4(ch)) << info.family().toStdString();
        }
    }
}
