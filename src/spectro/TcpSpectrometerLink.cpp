#include "spectro/TcpSpectrometerLink.h"

#include "core/BlockingCall.h"
#include "core/HostPort.h"

#include <QMetaObject>
#include <QTcpSocket>

namespace {

const QString NotConnectedText = QStringLiteral("Spectrometer link not connected");
const QString LineBreakText = QStringLiteral("Line break in item or command; not sent");
const QString TimeoutText = QStringLiteral("Spectrometer software did not answer in time");
const QString DroppedText = QStringLiteral("Spectrometer link dropped");
const QString ConnectTimeoutText = QStringLiteral("Socket operation timed out");
const QString WaitingForSoftware = QStringLiteral("Waiting for the spectrometer software");

// Waits are cut into slices so the console repaints between them.
constexpr qint64 SliceMs = 40;
// The station waits this much longer than the reply timeout it gave the far end, so that the far end's
// time-out answer arrives before the station gives up on the link.
constexpr qint64 LinkMarginMs = 1000;

int slice(const QDeadlineTimer& deadline)
{
    return int(qBound<qint64>(1, deadline.remainingTime(), SliceMs));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

bool holdsLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

} // namespace

TcpSpectrometerLink::TcpSpectrometerLink(const QString& address, QObject* parent)
    : SpectrometerLink(parent)
    , m_address(address)
{
    // "[::1]:4411" connects to ::1; the brackets only keep the address's colons apart from the port's.
    if (const auto peer = parseHostPort(address)) {
        m_host = peer->host;
        m_port = peer->port;
    }
    m_downReason = NotConnectedText;
}

TcpSpectrometerLink::~TcpSpectrometerLink()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void TcpSpectrometerLink::setReplyTimeout(int tenths)
{
    m_replyTimeoutTenths = tenths;
    m_replyTimeoutSet = true;
}

QDeadlineTimer TcpSpectrometerLink::replyDeadline() const
{
    return QDeadlineTimer(qint64(qMax(m_replyTimeoutTenths, 0)) * 100 + LinkMarginMs);
}

void TcpSpectrometerLink::syncReplyTimeout()
{
    // Told once per connection and change, just before the call it applies to; a new connection starts
    // with the far end's default.
    if (!m_replyTimeoutSet || m_replyTimeoutTenths <= 0 || m_replyTimeoutTenths == m_sentTimeoutTenths ||
        !m_connected)
        return;
    // A far end that does not know the verb (an older bridge) answers ERROR and keeps its own limit: it is
    // not asked again.
    LinkReplyParser::Event answer;
    if (transact("TIMEOUT", QString::number(qint64(m_replyTimeoutTenths) * 100), replyDeadline(), &answer,
                 nullptr))
        m_sentTimeoutTenths = m_replyTimeoutTenths;
}

bool TcpSpectrometerLink::openConversation(const QString& topic, int timeoutTenths, QString* error)
{
    const QDeadlineTimer deadline(qint64(qMax(timeoutTenths, 0)) * 100);
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_connected = false;
    m_sentTimeoutTenths = -1;
    m_parser.reset();
    m_answers.clear();
    clearNotifications();
    if (m_port == 0) {
        m_downReason = QStringLiteral("Invalid spectrometer link address \"%1\"").arg(m_address);
        setError(error, m_downReason);
        return false;
    }
    if (holdsLineBreak(topic)) {
        setError(error, LineBreakText);
        return false;
    }

    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        readAvailable();
        scheduleNotifications();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        // What arrived before the close still counts (an answer, then the drop).
        readAvailable();
        drop(DroppedText);
        scheduleNotifications();
    });
    m_socket->connectToHost(m_host, m_port);
    if (!waitForConnection(deadline)) {
        const QString reason = m_socket->state() == QAbstractSocket::UnconnectedState
                                   ? m_socket->errorString()
                                   : ConnectTimeoutText;
        m_downReason =
            QStringLiteral("Cannot reach the spectrometer software at %1: %2").arg(m_address, reason);
        setError(error, m_downReason);
        m_socket->abort();
        return false;
    }
    // Small lines both ways: without this, a notification after an answer waits for a delayed ACK.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connected = true;
    LinkReplyParser::Event answer;
    if (!transact("CONNECT", topic, deadline, &answer, error))
        return false;
    if (answer.kind == LinkReplyParser::Event::Kind::Error) {
        setError(error, QString::fromUtf8(answer.text));
        drop(QString::fromUtf8(answer.text));
        return false;
    }
    return true;
}

bool TcpSpectrometerLink::advise(const QString& item, QString* error)
{
    syncReplyTimeout();
    LinkReplyParser::Event answer;
    const QDeadlineTimer deadline = replyDeadline();
    if (!transact("ADVISE", item, deadline, &answer, error))
        return false;
    if (answer.kind == LinkReplyParser::Event::Kind::Error) {
        setError(error, QString::fromUtf8(answer.text));
        return false;
    }
    return true;
}

bool TcpSpectrometerLink::request(const QString& item, QByteArray* value, QString* error)
{
    syncReplyTimeout();
    LinkReplyParser::Event answer;
    const QDeadlineTimer deadline = replyDeadline();
    if (!transact("REQUEST", item, deadline, &answer, error))
        return false;
    if (answer.kind == LinkReplyParser::Event::Kind::Error) {
        setError(error, QString::fromUtf8(answer.text));
        return false;
    }
    if (value)
        *value = answer.value;
    return true;
}

bool TcpSpectrometerLink::execute(const QString& command, QString* error)
{
    syncReplyTimeout();
    LinkReplyParser::Event answer;
    const QDeadlineTimer deadline = replyDeadline();
    if (!transact("EXECUTE", command, deadline, &answer, error))
        return false;
    if (answer.kind == LinkReplyParser::Event::Kind::Error) {
        setError(error, QString::fromUtf8(answer.text));
        return false;
    }
    return true;
}

bool TcpSpectrometerLink::transact(const QByteArray& verb, const QString& argument,
                                   const QDeadlineTimer& deadline, LinkReplyParser::Event* answer,
                                   QString* error)
{
    if (holdsLineBreak(argument)) {
        setError(error, LineBreakText);
        return false;
    }
    if (!m_connected || !m_socket) {
        setError(error, m_downReason);
        return false;
    }
    // Answers come in the order of the lines sent; one line is outstanding at a time, so any
    // answer still queued here belongs to nothing and would put us out of step.
    m_answers.clear();
    const QByteArray line = verb + ' ' + argument.toUtf8() + '\n';
    if (m_socket->write(line) != line.size()) {
        drop(DroppedText);
        setError(error, m_downReason);
        return false;
    }
    BlockingCall call(WaitingForSoftware);
    while (m_answers.empty()) {
        if (!m_connected) {
            setError(error, m_downReason);
            return false;
        }
        if (m_socket->bytesToWrite() > 0)
            m_socket->waitForBytesWritten(slice(deadline));
        readAvailable();
        if (!m_answers.empty() || !m_connected)
            continue;
        if (deadline.hasExpired()) {
            // A late answer would be taken for the next line's; the conversation is unusable.
            drop(TimeoutText);
            setError(error, TimeoutText);
            return false;
        }
        m_socket->waitForReadyRead(slice(deadline));
        call.pump();
    }
    *answer = std::move(m_answers.front());
    m_answers.pop_front();
    scheduleNotifications();
    return true;
}

void TcpSpectrometerLink::readAvailable()
{
    if (!m_socket || !m_connected)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    m_parser.feed(bytes);
    while (m_parser.hasEvent()) {
        LinkReplyParser::Event event = m_parser.takeEvent();
        switch (event.kind) {
        case LinkReplyParser::Event::Kind::Notify:
            queueNotification(QString::fromUtf8(event.text));
            break;
        case LinkReplyParser::Event::Kind::Ok:
        case LinkReplyParser::Event::Kind::Error:
            m_answers.push_back(std::move(event));
            break;
        case LinkReplyParser::Event::Kind::ProtocolError: {
            const int code = event.tooLarge ? 11 : 1;
            BlockingCall::whenFree(this, [this, code] { emit linkError(code); });
            drop(QStringLiteral("Spectrometer link protocol error: %1").arg(QString::fromUtf8(event.text)));
            return;
        }
        }
    }
}

bool TcpSpectrometerLink::waitForConnection(const QDeadlineTimer& deadline)
{
    BlockingCall call(WaitingForSoftware);
    const QMetaObject::Connection wake =
        connect(m_socket, &QAbstractSocket::stateChanged, this, [&call] { call.wakeUp(); });
    auto pending = [this] {
        const auto state = m_socket->state();
        return state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState;
    };
    while (pending() && !deadline.hasExpired())
        call.waitForEvents(slice(deadline));
    disconnect(wake);
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpSpectrometerLink::drop(const QString& reason)
{
    if (!m_connected)
        return;
    m_connected = false;
    m_downReason = reason;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}
