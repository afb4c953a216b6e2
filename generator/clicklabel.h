#pragma once

#include <QLabel>

// A label that reports a press of the left mouse button, for the two link
// lines of the main window. Like every label it never takes the focus.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
