#pragma once

#include "support/ConsoleEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

// Presses OK on every system message box that opens while alive, recording text and title.
class SystemBoxCloser : public QObject
{
public:
    struct Shown
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
    };
    QList<Shown> shown;

    SystemBoxCloser()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible() && box->objectName() == QLatin1String("SystemMessageBox")) {
                    shown.push_back({box->text(), box->windowTitle(), box->icon()});
                    box->button(QMessageBox::Ok)->click();
                }
            }
        });
        m_poll.start(1);
    }

private:
    QTimer m_poll;
};
