#include "core/StationTimer.h"

#include "core/BlockingCall.h"

StationTimer::StationTimer(const Clock& clock, int intervalMs, bool enabled, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_intervalMs(intervalMs)
    , m_enabled(enabled)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &StationTimer::tick);
    apply();
}

void StationTimer::setInterval(int intervalMs)
{
    if (intervalMs == m_intervalMs)
        return;
    m_intervalMs = intervalMs;
    apply();
}

void StationTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    apply();
}

void StationTimer::apply()
{
    // Like the window toolkit's timer: changing interval or enabled state restarts the count.
    m_timer.stop();
    m_tickHeld = false;
    if (m_enabled && m_intervalMs > 0)
        m_timer.start(m_clock.realMs(m_intervalMs));
}

void StationTimer::tick()
{
    if (!BlockingCall::inFlight()) {
        emit timeout();
        return;
    }
    if (m_tickHeld)
        return;
    m_tickHeld = true;
    BlockingCall::whenFree(this, [this] { deliverHeldTick(); });
}

void StationTimer::deliverHeldTick()
{
    // A restart or a stop since then dropped the held tick.
    if (!m_tickHeld)
        return;
    m_tickHeld = false;
    emit timeout();
}
