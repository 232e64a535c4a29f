#pragma once

#include <QLabel>

// A clickable picture control. Loading a missing or unreadable file fails and keeps the
// picture it had.
class PictureBox : public QLabel
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    bool loadPicture(const QString& path);
    // The file last loaded successfully (empty before the first).
    QString pictureFile() const { return m_pictureFile; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_pictureFile;
};
