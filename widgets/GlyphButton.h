// A button drawn entirely from a glyph list, one glyph per state, with latching
// groups among the buttons of one parent. It paints only its glyph's non-key
// pixels, so the parent shows around it, and it never takes the focus.
#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>

#include "widgets/GlyphList.h"

class GlyphButton : public QWidget {
    Q_OBJECT

public:
    enum StateIndex {
        StateUp = 0,
        StateDisabled = 1,
        StateHot = 2,
        StateLatched = 3,
        StatePressed = 4,
        StateUnused = 5,
        StateMenuOpen = 6,
        StateDisabledLatched = 7,
    };
    static constexpr int kStateCount = 8;
    // The size of an autosizing button whose glyph is missing.
    static constexpr int kMissingGlyphSize = 20;

    explicit GlyphButton(QWidget* parent = nullptr);

    void SetGlyphList(GlyphList* list);
    GlyphList* List() const { return list_; }

    // Stores the entry; the button redraws at once when what it shows changes.
    void SetStateGlyph(int state, int index, int list = 0);
    int StateGlyph(int state) const;
    int StateGlyphList(int state) const;
    int State() const { return state_; }
    // The glyph index drawn in the present state after the fallbacks, or -1.
    int DrawnGlyph() const;

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    void SetShowCaption(bool show);
    bool ShowCaption() const { return showCaption_; }
    void SetCaptionHighlight(const QColor& color);
    void SetCaptionOffset(int offset);

    void SetGroupIndex(int group);
    int GroupIndex() const { return group_; }
    void SetAllowAllUp(bool allow);
    bool AllowAllUp() const { return allowAllUp_; }
    // Latches or releases a group button; see the rules in the source.
    void SetPressed(bool pressed);
    bool Pressed() const { return pressed_; }

    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }
    void SetMouseOverTracking(bool on);
    bool MouseOverTracking() const { return tracking_; }

    // A click made by the program: raises Clicked, the state stays as it is.
    void Click();

    QSize sizeHint() const override;

Q_SIGNALS:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Entry {
        int index = -1;
        int list = 0;
    };

    int GlyphOfState(int state) const;
    int RestState() const;
    void SetState(int state);
    void Refresh();
    void ReleaseFromGroup(bool allowAllUp);

    QPointer<GlyphList> list_;
    std::array<Entry, kStateCount> entries_{};
    int state_ = StateUp;
    bool pressed_ = false;
    bool mouseDown_ = false;
    QString caption_;
    bool showCaption_ = false;
    QColor highlight_ = QColor(0xC0, 0xC0, 0xC0);
    int captionOffset_ = 1;
    int group_ = 0;
    bool allowAllUp_ = false;
    bool autoSize_ = true;
    bool tracking_ = true;
};
