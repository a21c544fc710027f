#include "widgets/SpinEditBase.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScopedValueRollback>

#include "widgets/LocaleNumber.h"
#include "widgets/SpinArrowButton.h"
#include "widgets/SpinLineEdit.h"

namespace {

constexpr int kFrameWidth = 2;

bool IsStepKey(int key) {
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
           key == Qt::Key_PageDown;
}

// The character a key types, as a plain edit would receive it, or QChar() for
// keys that type nothing (movement, shortcuts with Ctrl, Alt or Meta, Delete).
QChar TypedChar(const QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return {};
    }
    switch (event->key()) {
        case Qt::Key_Backspace:
            return QChar('\b');
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return QChar('\r');
        case Qt::Key_Escape:
            return QChar(0x1B);
        case Qt::Key_Delete:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return {};
        default:
            break;
    }
    const QString text = event->text();
    if (text.isEmpty() || !text.at(0).isPrint()) {
        return {};
    }
    return text.at(0);
}

// Shortcuts that would change the text without typing a character.
bool IsEditingShortcut(const QKeyEvent* event) {
    return event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
           event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo) ||
           event->matches(QKeySequence::DeleteEndOfWord) ||
           event->matches(QKeySequence::DeleteStartOfWord) ||
           event->matches(QKeySequence::DeleteEndOfLine) ||
           event->matches(QKeySequence::DeleteCompleteLine);
}

}  // namespace

SpinEditBase::SpinEditBase(int buttonWidth, QWidget* parent)
    : QWidget(parent),
      edit_(new SpinLineEdit(this, this)),
      up_(new SpinArrowButton(true, this)),
      down_(new SpinArrowButton(false, this)),
      buttonWidth_(buttonWidth) {
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(edit_);
    edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(edit_, &QLineEdit::textChanged, this, [this] {
        if (tracking_) {
            changed_ = true;
        } else {
            Q_EMIT Change();
        }
    });
    connect(up_, &QAbstractButton::clicked, this, [this] { ButtonClicked(true); });
    connect(down_, &QAbstractButton::clicked, this, [this] { ButtonClicked(false); });
    Arrange();
}

// A focused edit deleted with its window loses the focus in QWidget's destructor,
// after this one: the text part must not call back into a half-destroyed edit.
SpinEditBase::~SpinEditBase() {
    edit_->ForgetOwner();
}

QString SpinEditBase::Text() const {
    return edit_->text();
}

void SpinEditBase::SetText(const QString& text) {
    WriteText(text);
}

void SpinEditBase::SetEditFont(const QFont& font) {
    edit_->setFont(font);
}

void SpinEditBase::SetTransparent(bool transparent) {
    transparent_ = transparent;
    up_->SetFlat(transparent || up_->Flat());
    down_->SetFlat(transparent || down_->Flat());
    Arrange();
    update();
}

void SpinEditBase::SetFrameShown(bool shown) {
    frameShown_ = shown;
    Arrange();
    update();
}

void SpinEditBase::SetFlatButtons(bool flat) {
    up_->SetFlat(flat);
    down_->SetFlat(flat);
}

void SpinEditBase::SetAlignment(Qt::Alignment alignment) {
    edit_->setAlignment(alignment);
}

void SpinEditBase::SetTypingAllowed(bool allowed) {
    typingAllowed_ = allowed;
    edit_->setAcceptDrops(allowed);
}

void SpinEditBase::SetTabStop(bool stop) {
    const Qt::FocusPolicy policy = stop ? Qt::StrongFocus : Qt::ClickFocus;
    setFocusPolicy(policy);
    edit_->setFocusPolicy(policy);
}

bool SpinEditBase::TabStop() const {
    return edit_->focusPolicy() & Qt::TabFocus;
}

QLineEdit* SpinEditBase::Editor() const {
    return edit_;
}

void SpinEditBase::TrackTextChange(const std::function<void()>& operation) {
    if (tracking_) {
        operation();
        return;
    }
    tracking_ = true;
    changed_ = false;
    try {
        operation();
    } catch (...) {
        tracking_ = false;
        throw;
    }
    tracking_ = false;
    if (changed_) {
        changed_ = false;
        Q_EMIT Change();
    }
}

void SpinEditBase::CharTyped(QChar&) {}

void SpinEditBase::WriteText(const QString& text) {
    if (edit_->text() == text) {
        return;
    }
    // Like the platform's edits, a text the program writes leaves the caret at the
    // start; only a rewrite in answer to the user's own key keeps the caret where
    // the typing put it, so that typed digits stay in their order. It keeps its
    // place beside the separator (or the end of a whole number), which the
    // rewrite may move: ".00" after a Backspace becomes "0.00", and the next digit
    // still goes before the separator.
    int caret = 0;
    if (userKey_) {
        const auto anchor = [](const QString& t) {
            const qsizetype separator = t.indexOf(DecimalSeparator());
            return static_cast<int>(separator < 0 ? t.size() : separator);
        };
        caret = anchor(text) - (anchor(edit_->text()) - edit_->cursorPosition());
    }
    TrackTextChange([&] {
        edit_->setText(text);
        edit_->setCursorPosition(qBound(0, caret, static_cast<int>(text.size())));
    });
}

void SpinEditBase::Refuse() {
    QApplication::beep();
    Q_EMIT Refused();
}

bool SpinEditBase::SignAllowed() const {
    const QString text = edit_->text();
    if (!text.isEmpty() && edit_->selectedText() == text) {
        return true;
    }
    const int at = edit_->hasSelectedText() ? edit_->selectionStart() : edit_->cursorPosition();
    return at == 0 && !text.contains(QChar('+')) && !text.contains(QChar('-'));
}

bool SpinEditBase::SeparatorAllowed(QChar separator) const {
    return !edit_->text().contains(separator) || edit_->selectedText().contains(separator);
}

void SpinEditBase::EditKeyPress(QKeyEvent* event) {
    const auto blocking = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (IsStepKey(event->key()) && !(event->modifiers() & blocking)) {
        const bool up = event->key() == Qt::Key_Up || event->key() == Qt::Key_PageUp;
        const bool large = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown;
        event->accept();
        Step(up, large);
        return;
    }
    const QScopedValueRollback<bool> userKey(userKey_, true);
    QChar ch = TypedChar(event);
    if (!ch.isNull()) {
        const QChar typed = ch;
        CharTyped(ch);
        if (ch.isNull()) {
            event->accept();
            return;
        }
        if (!typingAllowed_ && (ch.isPrint() || ch == QChar('\b'))) {
            event->accept();
            Refuse();
            return;
        }
        if (!AcceptChar(ch)) {
            event->accept();
            Refuse();
            return;
        }
        if (ch == typed) {
            TrackTextChange([&] { edit_->BaseKeyPress(event); });
        } else {
            QKeyEvent replaced(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            TrackTextChange([&] { edit_->BaseKeyPress(&replaced); });
            event->setAccepted(replaced.isAccepted());
        }
        return;
    }
    if (!typingAllowed_) {
        if (event->key() == Qt::Key_Delete && !(event->modifiers() & Qt::ShiftModifier)) {
            event->accept();
            Refuse();
            return;
        }
        if (IsEditingShortcut(event)) {
            event->accept();
            return;
        }
    }
    TrackTextChange([&] { edit_->BaseKeyPress(event); });
}

void SpinEditBase::ButtonClicked(bool up) {
    if (edit_->focusPolicy() & Qt::ClickFocus) {
        edit_->setFocus(Qt::MouseFocusReason);
    }
    Step(up, false);
}

void SpinEditBase::Arrange() {
    const QRect inner = frameShown_ && !transparent_
                            ? rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth)
                            : rect();
    const int width = buttonWidth_ > 0 ? buttonWidth_ : inner.height();
    const int upHeight = inner.height() / 2;
    const int left = inner.right() + 1 - width;
    up_->setGeometry(left, inner.top(), width, upHeight);
    down_->setGeometry(left, inner.top() + upHeight, width, inner.height() - upHeight);
    edit_->setGeometry(inner.left(), inner.top(), qMax(0, left - inner.left()), inner.height());
}

void SpinEditBase::resizeEvent(QResizeEvent*) {
    Arrange();
}

void SpinEditBase::paintEvent(QPaintEvent*) {
    if (transparent_) {
        return;
    }
    QPainter painter(this);
    const QBrush base =
        palette().brush(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base);
    if (frameShown_) {
        qDrawWinPanel(&painter, rect(), palette(), true, &base);
    } else {
        painter.fillRect(rect(), base);
    }
}
