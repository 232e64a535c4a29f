#pragma once

#include <QRect>

class QWidget;

// Converts twips (1440 per inch) to pixels with the screen's logical DPI: 15 twips per pixel at 96 DPI.
class Twips
{
public:
    explicit Twips(const QWidget* widget);

    int x(double twips) const;
    int y(double twips) const;
    QRect rect(double left, double top, double width, double height) const;
    double fromX(int pixels) const;
    double fromY(int pixels) const;

private:
    double m_dpiX = 96;
    double m_dpiY = 96;
};
