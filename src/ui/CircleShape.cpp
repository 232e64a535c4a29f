#include "ui/CircleShape.h"

#include <QPainter>

void CircleShape::setFillColor(quint32 color)
{
    m_fillColor = color;
    update();
}

void CircleShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill(m_fillColor & 0xff, (m_fillColor >> 8) & 0xff, (m_fillColor >> 16) & 0xff);
    painter.setBrush(fill);
    painter.setPen(QPen(Qt::black, 1));
    const int side = qMin(width(), height()) - 2;
    painter.drawEllipse(1, 1, side, side);
}
