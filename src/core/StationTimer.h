#pragma once

#include "core/Clock.h"

#include <QObject>
#include <QTimer>

// A window timer with a nominal interval in milliseconds; the clock turns it into real time.
// An interval of 0 means the timer never ticks, even when enabled. A tick that falls due while a
// blocking call is in flight is held and delivered once after it, as a blocked window's timer is.
class StationTimer : public QObject
{
    Q_OBJECT
public:
    StationTimer(const Clock& clock, int intervalMs, bool enabled, QObject* parent = nullptr);

    int interval() const { return m_intervalMs; }
    void setInterval(int intervalMs);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

signals:
    void timeout();

private:
    void apply();
    void tick();
    void deliverHeldTick();

    const Clock& m_clock;
    QTimer m_timer;
    int m_intervalMs = 0;
    bool m_enabled = false;
    bool m_tickHeld = false;
};
