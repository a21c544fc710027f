// A group box with an engraved caption and an etched frame, without a background.
#pragma once

#include <QString>
#include <QWidget>

class QPainter;

class TransparentGroupBox : public QWidget {
    Q_OBJECT

public:
    explicit TransparentGroupBox(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};

// The frame and caption of a group box over the whole of `box`, the frame line
// left out behind the caption; shared with the radio group.
void DrawGroupFrame(QPainter& painter, const QWidget& box, const QString& caption);
