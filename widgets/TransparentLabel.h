// A caption without a background, drawn engraved; "\r" or "\r\n" breaks a line.
#pragma once

#include <QString>
#include <QWidget>

class TransparentLabel : public QWidget {
    Q_OBJECT

public:
    explicit TransparentLabel(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    void SetAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignTop;
};
