#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QEventLoop;

// Tells the console what the station is waiting for while a synchronous call is in flight.
class BlockingCallMonitor : public QObject
{
    Q_OBJECT
signals:
    // At the start of a call (0 s) and each time its whole seconds grow.
    void waiting(const QString& what, int seconds);
    void finished();
};

// One synchronous call of the station (an HTTP request, an answer on the spectrometer link), from
// its start to its return. The station stays single-threaded: while a call is in flight nothing of
// the station runs - user input and window closes wait until the call has returned, the station's
// timers hold their ticks and work passed to whenFree() waits - but the caller's polls let the
// windows repaint and show the wait. Only active on the application's thread.
class BlockingCall
{
public:
    explicit BlockingCall(const QString& waitingFor);
    ~BlockingCall();
    BlockingCall(const BlockingCall&) = delete;
    BlockingCall& operator=(const BlockingCall&) = delete;

    // Serves what is pending (painting, timers of the toolkit, posted events) without user input
    // or socket notifiers, and reports the elapsed seconds. Returns at once.
    void pump();
    // Like pump(), but waits up to maxMs for events, socket notifiers included: a connection
    // being made is only seen through them. wakeUp() ends the wait early.
    void waitForEvents(int maxMs);
    void wakeUp();

    static bool inFlight();
    // Runs work from the event loop once no call is in flight (in the order given); nothing when
    // context is gone by then.
    static void whenFree(QObject* context, std::function<void()> work);
    static BlockingCallMonitor& monitor();

private:
    void report();

    bool m_active = false;
    QString m_waitingFor;
    QEventLoop* m_loop = nullptr;
};
