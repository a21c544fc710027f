// A check box with a flat mark and an engraved text, without a background.
#pragma once

#include <QString>
#include <QWidget>

class TransparentCheckBox : public QWidget {
    Q_OBJECT

public:
    explicit TransparentCheckBox(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return text_; }
    void SetChecked(bool checked);
    bool Checked() const { return checked_; }

Q_SIGNALS:
    // The user switched it (mouse or Space); not raised by SetChecked.
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QRect MarkRect() const;
    QRect TextRect() const;
    void Toggle();

    QString text_;
    bool checked_ = false;
    bool mouseDown_ = false;
};
