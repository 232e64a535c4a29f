#include "core/ConsoleControl.h"

#include <QFileInfo>

ConsoleControl::ConsoleControl(const QString& name, QObject* parent)
    : QObject(parent)
{
    setObjectName(name);
}

// Waits rewrite the same values before every yield; an unchanged value is no change.
void ConsoleControl::setText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    emit changed();
}

void ConsoleControl::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    emit changed();
}

void ConsoleControl::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    emit changed();
}

bool ConsoleControl::loadPicture(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return false;
    if (m_picture != path) {
        m_picture = path;
        emit changed();
    }
    return true;
}

void ConsoleControl::setColour(quint32 colour)
{
    if (m_colour == colour)
        return;
    m_colour = colour;
    emit changed();
}

void ConsoleControl::moveLeft(int twips)
{
    if (m_left == twips)
        return;
    m_left = twips;
    emit changed();
}

void ConsoleControl::moveTop(int twips)
{
    if (m_top == twips)
        return;
    m_top = twips;
    emit changed();
}
