#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>

// The conversation with the spectrometer software: open a conversation on a topic, advise an item
// (the software runs the item as a command and notifies when its result is ready), request an
// item's value, and execute a command. Every call is synchronous and bounded by a timeout;
// notifications arrive as signals on the event loop. The one backend is the TCP link protocol; on
// the spectrometer's Windows workstation the link bridge (bridge/) turns it into DDE.
class SpectrometerLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SpectrometerLink() override = default;

    // Opens (or reopens) the conversation; waits at most timeoutTenths tenths of a second.
    virtual bool openConversation(const QString& topic, int timeoutTenths, QString* error) = 0;
    // Later answers wait at most this many tenths of a second.
    virtual void setReplyTimeout(int tenths) = 0;
    virtual bool advise(const QString& item, QString* error) = 0;
    virtual bool request(const QString& item, QByteArray* value, QString* error) = 0;
    virtual bool execute(const QString& command, QString* error) = 0;
    virtual bool isConnected() const = 0;

protected:
    // Announcements wait here and are emitted as notified() from the event loop, in order, once no
    // call is in flight: they are station events.
    void queueNotification(const QString& item) { m_notifications.push_back(item); }
    void scheduleNotifications();
    void clearNotifications() { m_notifications.clear(); }

signals:
    // The result of an advised item is ready.
    void notified(const QString& item);
    // The link reports an error code (1: data in wrong format, 11: out of memory, ...).
    void linkError(int code);

private:
    void serveNotifications();

    std::deque<QString> m_notifications;
    bool m_serveScheduled = false;
    bool m_serving = false;
};
