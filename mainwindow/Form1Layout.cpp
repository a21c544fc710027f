#include "mainwindow/Form1Layout.h"

namespace form1 {
namespace {

QString PinText(const char* pattern, int pin) {
    // The texts are written for pin 2; every channel carries its own number.
    return QString::fromUtf8(pattern).replace(QStringLiteral("2"), QString::number(pin));
}

void AddTitleButtons(std::vector<Control>& out) {
    struct Title {
        const char* name;
        int left, tag, glyph;
        const char* hint;
    };
    const Title titles[] = {
        {"btnHelp", 423, 97, 0, "Помощь (F1)"},
        {"btnHide", 447, 98, 3, "Свернуть программу в Tray\n(туда где часики...)"},
        {"btnClose", 471, 99, 6, "Закрыть программу"},
    };
    for (const Title& t : titles) {
        Control c{QString::fromLatin1(t.name),
                  Kind::GlyphButton,
                  {},
                  t.left,
                  5,
                  16,
                  16,
                  t.tag,
                  {},
                  QString::fromUtf8(t.hint),
                  {}};
        c.glyphs.normal = t.glyph;
        c.glyphs.pressed = t.glyph + 1;
        c.glyphs.hot = t.glyph + 2;
        out.push_back(c);
    }
}

void AddChannel(std::vector<Control>& out, int p) {
    const int x = ChannelLeft(p);
    const QString n = QString::number(p);

    Control tray{"btnTr" + n, Kind::GlyphButton,
                 {},          x,
                 44,          17,
                 20,          10 * p + 1,
                 {},          PinText("Назначить отображение Pin2 в Tray\n(туда где часики)", p),
                 {}};
    tray.glyphs = {6, 7, 9, -1, 8};
    tray.group = TrayGroup;
    tray.pin = p;
    out.push_back(tray);

    Control point{"btnPoint" + n,
                  Kind::GlyphButton,
                  {},
                  x + 17,
                  42,
                  22,
                  22,
                  10 * p + 2,
                  n,
                  PinText("Pin2 Изменение состояния\n1 - Красный\n0- Желтый\nклавиша F2", p),
                  {}};
    point.glyphs = {0, 1, 2, 16, -1};
    point.pin = p;
    out.push_back(point);

    Control dir{"btnDir" + n,
                Kind::GlyphButton,
                {},
                x + 39,
                44,
                17,
                20,
                10 * p + 3,
                {},
                PinText("Направление переключения Pin2\nс временной задержкой", p),
                {}};
    dir.glyphs = {10, 11, 12, -1, -1};
    dir.pin = p;
    out.push_back(dir);

    // Pin 3's panel stands two pixels left of its slot, as the window was always drawn.
    const int panelLeft = p == 3 ? 70 : x + 2;
    Control panel{"pnlSpin" + n, Kind::GradientPanel, {}, panelLeft, 70, 52, 15, 0, {}, {}, {}};
    panel.pin = p;
    out.push_back(panel);

    Control edit{"spin" + n,
                 Kind::FloatSpinEdit,
                 "pnlSpin" + n,
                 0,
                 0,
                 52,
                 15,
                 p,
                 {},
                 PinText("Pin2 Временная задержка в мсек.\nпри переключении состояния", p),
                 {}};
    edit.pin = p;
    out.push_back(edit);
}

void AddConnector(std::vector<Control>& out) {
    struct Pin {
        int tag, picture;
        const char* hint;
    };
    // Upper row: pins 1 … 13; lower row: pins 14 … 25.
    const Pin pins[25] = {
        {51, 12, "Pin 1 - STROBE (Контрольный бит)"},
        {62, 9, "Pin2 - DATA 1 (Выходной бит)\nлиния данных 1"},
        {63, 9, "Pin3 - DATA 2 (Выходной бит)\nлиния данных 2"},
        {64, 9, "Pin4 - DATA 3 (Выходной бит)\nлиния данных 3"},
        {65, 9, "Pin5 - DATA 4 (Выходной бит)\nлиния данных 4"},
        {66, 9, "Pin6 - DATA 5 (Выходной бит)\nлиния данных 5"},
        {67, 9, "Pin7 - DATA 6 (Выходной бит)\nлиния данных 6"},
        {68, 9, "Pin8 - DATA 7 (Выходной бит)\nлиния данных 7"},
        {69, 9, "Pin9 - DATA 8 (Выходной бит)\nлиния данных 8"},
        {71, 14, "Pin10 - ACKNLG (Входной бит)\nПринято"},
        {72, 14, "Pin11 - BUSY (Входной бит)\nЗанято"},
        {73, 14, "Pin12 - PaperEnd (Входной бит)\nНет бумаги"},
        {74, 14, "Pin13 - SELECT (Входной бит)\nВыбор"},
        {52, 12, "Pin14 - AUTO FEED XT (Контрольный бит)\n(Авто-перевод строки)"},
        {75, 14, "Pin15 - n.c. (Входной бит)"},
        {53, 12, "Pin16 - 0V (Контрольный бит)\n(Логичексая земля)"},
        {54, 12, "Pin17 - CHASSIS GND (Контрольный бит)\nШасси (земля)"},
        {81, 15, "Pin18 - n.c."},
        {82, 15, "Pin19 - GND\n(Сигнальная земля)"},
        {83, 15, "Pin20 - GND\n(Сигнальная земля)"},
        {84, 15, "Pin21 - GND\n(Сигнальная земля)"},
        {85, 15, "Pin22 - GND\n(Сигнальная земля)"},
        {86, 15, "Pin23 - GND\n(Сигнальная земля)"},
        {87, 15, "Pin24 - GND\n(Сигнальная земля)"},
        {88, 15, "Pin25 - GND\n(Сигнальная земля)"},
    };
    for (int pin = 1; pin <= 25; ++pin) {
        const bool upper = pin <= 13;
        const int left = upper ? 177 + 11 * (pin - 1) : 183 + 11 * (pin - 14);
        const Pin& d = pins[pin - 1];
        Control c{"imgPin" + QString::number(pin),
                  Kind::ListImage,
                  {},
                  left,
                  upper ? 102 : 115,
                  8,
                  8,
                  d.tag,
                  {},
                  QString::fromUtf8(d.hint),
                  {}};
        c.picture = d.picture;
        c.pin = pin;
        out.push_back(c);
    }
}

std::vector<Control> Build() {
    std::vector<Control> out;
    AddTitleButtons(out);
    for (int p = 2; p <= 9; ++p) {
        AddChannel(out, p);
    }
    AddConnector(out);
    return out;
}

}  // namespace

const std::vector<Control>& Controls() {
    static const std::vector<Control> controls = Build();
    return controls;
}

}  // namespace form1
