#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

Twips::Twips(const QWidget* widget)
{
    const QScreen* screen = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        m_dpiX = screen->logicalDotsPerInchX();
        m_dpiY = screen->logicalDotsPerInchY();
    }
    if (m_dpiX <= 0)
        m_dpiX = 96;
    if (m_dpiY <= 0)
        m_dpiY = 96;
}

int Twips::x(double twips) const
{
    return static_cast<int>(std::lround(twips * m_dpiX / 1440.0));
}

int Twips::y(double twips) const
{
    return static_cast<int>(std::lround(twips * m_dpiY / 1440.0));
}

QRect Twips::rect(double left, double top, double width, double height) const
{
    return QRect(x(left), y(top), x(width), y(height));
}

double Twips::fromX(int pixels) const
{
    return pixels * 1440.0 / m_dpiX;
}

double Twips::fromY(int pixels) const
{
    return pixels * 1440.0 / m_dpiY;
}
