#pragma once

#include <QWidget>

// The status lamp: a circle whose fill colour is a 32-bit value with red in the low byte.
class CircleShape : public QWidget
{
    Q_OBJECT
public:
    explicit CircleShape(QWidget* parent = nullptr)
        : QWidget(parent)
    {
    }

    quint32 fillColor() const { return m_fillColor; }
    void setFillColor(quint32 color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    quint32 m_fillColor = 16711935; // magenta
};
