#include "generator/clicklabel.h"

#include <QMouseEvent>

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}
