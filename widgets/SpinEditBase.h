// What the two spin edits share: a one-line text with two arrow buttons at its
// right edge, an optional sunken frame, a transparent mode, and the key path that
// lets each kind step, veto characters and beep.
//
// Change is raised after every change of the text, whoever made it. Where the
// edit itself changes the text (keys, stepping, SetText) the event is raised
// from this class's own frame once the line edit has finished, so a handler may
// throw (a conversion error) without leaving the line edit half updated; the
// exception is not caught here.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class SpinArrowButton;
class SpinLineEdit;

class SpinEditBase : public QWidget {
    Q_OBJECT

public:
    ~SpinEditBase() override;

    QString Text() const;
    // Raises Change when the text differs from the present one.
    void SetText(const QString& text);

    void SetEditFont(const QFont& font);
    // No frame, no background and flat buttons: the parent shows through.
    void SetTransparent(bool transparent);
    bool Transparent() const { return transparent_; }
    void SetFrameShown(bool shown);
    bool FrameShown() const { return frameShown_; }
    void SetFlatButtons(bool flat);
    void SetAlignment(Qt::Alignment alignment);
    // When off, only the arrows, page keys, buttons (and, where the kind
    // supports it, the wheel) change the text; typed keys beep.
    void SetTypingAllowed(bool allowed);
    bool TypingAllowed() const { return typingAllowed_; }
    // Whether the Tab key stops here; off leaves the edit to the mouse.
    void SetTabStop(bool stop);
    bool TabStop() const;

    QLineEdit* Editor() const;
    SpinArrowButton* UpButton() const { return up_; }
    SpinArrowButton* DownButton() const { return down_; }

    // Runs an operation of the line edit and raises Change afterwards if it
    // changed the text. Nested calls raise it once, from the outermost.
    void TrackTextChange(const std::function<void()>& operation);

Q_SIGNALS:
    void Change();
    // A key was refused (the edit has beeped).
    void Refused();

protected:
    // buttonWidth <= 0 makes the buttons square: as wide as the inner height.
    SpinEditBase(int buttonWidth, QWidget* parent);

    // One step up or down; large for the page keys.
    virtual void Step(bool up, bool large) = 0;
    // A typed character before it takes effect; the kind may change it, or set
    // it to QChar() to drop it silently.
    virtual void CharTyped(QChar& ch);
    // The kind's rule for a character it is about to take; false refuses it.
    virtual bool AcceptChar(QChar ch) const = 0;
    // The focus moved to another control.
    virtual void FocusLeft() {}

    // Writes the text (a Change when it differs) and puts the caret at the start,
    // unless the write answers a key the user typed.
    void WriteText(const QString& text);
    void Refuse();
    // The sign rule both kinds share: at the start of a text without a sign,
    // or over the whole text.
    bool SignAllowed() const;
    // The separator rule: none in the text yet, or the selection holds it.
    bool SeparatorAllowed(QChar separator) const;

    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class SpinLineEdit;
    void EditKeyPress(QKeyEvent* event);
    void EditFocusOut() { FocusLeft(); }
    void Arrange();
    void ButtonClicked(bool up);

    SpinLineEdit* edit_;
    SpinArrowButton* up_;
    SpinArrowButton* down_;
    int buttonWidth_;
    bool transparent_ = false;
    bool frameShown_ = true;
    bool typingAllowed_ = true;
    bool tracking_ = false;
    bool changed_ = false;
    bool userKey_ = false;  // a typing or editing key is being handled
};
