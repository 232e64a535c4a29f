#pragma once

#include "core/Clock.h"

#include <QObject>
#include <QTimer>

// A window timer with a nominal interval in milliseconds; the clock turns it into real time.
// An interval of 0 means the timer never ticks, even when enabled.
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

    const Clock& m_clock;
    QTimer m_timer;
    int m_intervalMs = 0;
    bool m_enabled = false;
};
