#include "ui/PictureBox.h"

#include <QMouseEvent>
#include <QPixmap>

PictureBox::PictureBox(QWidget* parent)
    : QLabel(parent)
{
    setScaledContents(true);
}

bool PictureBox::loadPicture(const QString& path)
{
    QPixmap pixmap;
    if (!pixmap.load(path))
        return false;
    setPixmap(pixmap);
    m_pictureFile = path;
    return true;
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled())
        emit clicked();
    QLabel::mousePressEvent(event);
}
