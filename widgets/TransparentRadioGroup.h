// A captioned group of radio items in one column, with flat marks and engraved
// texts, without a background: what lies beneath shows through it.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class TransparentRadioGroup : public QWidget {
    Q_OBJECT

public:
    explicit TransparentRadioGroup(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    // Keeps the chosen item if it still exists, otherwise none.
    void SetItems(const QStringList& items);
    QStringList Items() const { return items_; }
    // -1 = none. Below -1 gives -1, at or above the count the last item.
    void SetItemIndex(int index);
    int ItemIndex() const { return index_; }

    // Where item i lies (mark and text), in the group's coordinates.
    QRect ItemRect(int i) const;

Q_SIGNALS:
    // The user chose an item (mouse or arrow keys); not raised by SetItemIndex.
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int ItemAt(const QPoint& point) const;
    void Choose(int index);

    QString caption_;
    QStringList items_;
    int index_ = -1;
    int pressedItem_ = -1;
};
