#pragma once

#include "core/SpectrometerLink.h"
#include "spectro/LinkReplyParser.h"

#include <QDeadlineTimer>

#include <deque>

class QTcpSocket;

// The link to the spectrometer software over one TCP connection (host:port). Calls block on the
// event-loop thread until their answer arrives or the timeout passes, repainting the console but
// running nothing of the station (BlockingCall); notifications that arrive meanwhile are kept and
// emitted later from the event loop, in order. The reply timeout is also the far end's: it is sent as
// "TIMEOUT <ms>" before the first call it applies to, so the bridge's DDE calls wait as long, and a DDE
// time-out comes back as that call's ERROR answer within the station's own wait, longer by a margin.
class TcpSpectrometerLink : public SpectrometerLink
{
    Q_OBJECT
public:
    explicit TcpSpectrometerLink(const QString& address, QObject* parent = nullptr);
    ~TcpSpectrometerLink() override;

    bool openConversation(const QString& topic, int timeoutTenths, QString* error) override;
    void setReplyTimeout(int tenths) override;
    bool advise(const QString& item, QString* error) override;
    bool request(const QString& item, QByteArray* value, QString* error) override;
    bool execute(const QString& command, QString* error) override;
    bool isConnected() const override { return m_connected; }

    QString address() const { return m_address; }
    int replyTimeoutTenths() const { return m_replyTimeoutTenths; }

private:
    bool transact(const QByteArray& verb, const QString& argument, const QDeadlineTimer& deadline,
                  LinkReplyParser::Event* answer, QString* error);
    QDeadlineTimer replyDeadline() const;
    void syncReplyTimeout();
    // Waits for connectToHost to succeed or fail, repainting the console meanwhile.
    bool waitForConnection(const QDeadlineTimer& deadline);
    void readAvailable();
    void drop(const QString& reason);

    QString m_address;
    QString m_host;
    quint16 m_port = 0;
    QTcpSocket* m_socket = nullptr;
    LinkReplyParser m_parser;
    std::deque<LinkReplyParser::Event> m_answers;
    int m_replyTimeoutTenths = 100;
    bool m_replyTimeoutSet = false;
    int m_sentTimeoutTenths = -1; // what the far end of this connection was told; -1: nothing
    bool m_connected = false;
    QString m_downReason;
};
