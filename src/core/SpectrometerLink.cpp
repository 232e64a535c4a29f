#include "core/SpectrometerLink.h"

#include "core/BlockingCall.h"

void SpectrometerLink::scheduleNotifications()
{
    if (m_notifications.empty() || m_serveScheduled)
        return;
    m_serveScheduled = true;
    BlockingCall::whenFree(this, [this] { serveNotifications(); });
}

void SpectrometerLink::serveNotifications()
{
    m_serveScheduled = false;
    // A handler that yields (a message box, a wait) must not have the next notification served
    // inside it; the outer loop below picks it up afterwards, keeping the order.
    if (m_serving)
        return;
    m_serving = true;
    while (!m_notifications.empty()) {
        const QString item = m_notifications.front();
        m_notifications.pop_front();
        emit notified(item);
    }
    m_serving = false;
}
