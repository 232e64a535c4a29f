#pragma once

#include <QWidget>

class Frmgrading;
class StationConsole;
class QLabel;

// The small window shown from the program's first moments until the console appears: the program's
// title, "Starting..." and the step in progress (what the console's first message line says, or
// what a call waits for).
class StartupSplash : public QWidget
{
    Q_OBJECT
public:
    explicit StartupSplash(QWidget* parent = nullptr);

    // Shows the window and lets it paint before the caller goes on with the start; waits at most
    // maxWaitMs for the window system to show it.
    void showNow(int maxWaitMs = 100);
    void setStep(const QString& step);
    QString step() const;
    // Follows the console's start: its message line and waits become the step; the window closes
    // as soon as the console shows or the program ends.
    void follow(Frmgrading& window, const StationConsole& console);

signals:
    // The first time the window was painted.
    void firstPainted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_title = nullptr;
    QLabel* m_starting = nullptr;
    QLabel* m_step = nullptr;
    Frmgrading* m_console = nullptr;
    bool m_painted = false;
};
