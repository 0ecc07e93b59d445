#pragma once

#include <QLabel>

// A one-line label for texts of any length, such as paths: a text that does not fit is drawn
// with its middle replaced by "…", so that its beginning and its end stay visible. text() is
// always the whole text; the tooltip shows it when the line is shortened, and "复制" in the
// context menu or Ctrl+C anywhere in the window puts it on the clipboard.
//
// Everything shown is derived from text() when it is needed, so QLabel::setText() through a
// QLabel pointer is as good as any other way of setting the text.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    ~ElidedLabel() override;

    // The text as drawn at the current width and font.
    QString drawnText() const;
    bool isElided() const;

    void copy() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect() const;
};
