#include "SimSpectrometer.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

const QString Topic = QStringLiteral("OPUS|System");

} // namespace

SimSpectrometer::SimSpectrometer(quint16 port, const QString& dataRoot)
    : m_requestedPort(port)
    , m_dataRoot(dataRoot)
{
}

SimSpectrometer::~SimSpectrometer()
{
    stop();
}

bool SimSpectrometer::start()
{
    if (m_thread)
        return m_port != 0;
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("SimSpectrometer"));
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    m_thread->start();
    bool listening = false;
    QMetaObject::invokeMethod(
        m_context,
        [this, &listening] {
            m_server = new QTcpServer;
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] { onNewConnection(); });
            listening = m_server->listen(QHostAddress::LocalHost, m_requestedPort);
            if (listening)
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

void SimSpectrometer::stop()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            for (auto& [socket, connection] : m_connections) {
                socket->disconnect();
                socket->abort();
                delete socket;
            }
            m_connections.clear();
            delete m_server;
            m_server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_context;
    m_context = nullptr;
    delete m_thread;
    m_thread = nullptr;
}

QString SimSpectrometer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

void SimSpectrometer::setRefuseItems(bool refuse)
{
    QMutexLocker lock(&m_mutex);
    m_refuseItems = refuse;
}

void SimSpectrometer::setNotify(bool notify)
{
    QMutexLocker lock(&m_mutex);
    m_notify = notify;
}

void SimSpectrometer::setNeverAnswer(bool never)
{
    QMutexLocker lock(&m_mutex);
    m_neverAnswer = never;
}

void SimSpectrometer::setAnswerDelayMs(int ms)
{
    QMutexLocker lock(&m_mutex);
    m_answerDelayMs = ms;
}

void SimSpectrometer::setDropOnItem(const QString& prefix)
{
    QMutexLocker lock(&m_mutex);
    m_dropOnItem = prefix;
}

void SimSpectrometer::setDropOnRequest(const QString& item)
{
    QMutexLocker lock(&m_mutex);
    m_dropOnRequest = item;
}

void SimSpectrometer::dropConnections()
{
    if (!m_context)
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            std::vector<QTcpSocket*> sockets;
            for (auto& [socket, connection] : m_connections)
                sockets.push_back(socket);
            for (QTcpSocket* socket : sockets)
                socket->abort();
        },
        Qt::BlockingQueuedConnection);
}

void SimSpectrometer::setScanFault(ScanFault fault, int goodScansFirst)
{
    QMutexLocker lock(&m_mutex);
    m_scanFault = fault;
    m_goodScansBeforeFault = goodScansFirst;
}

void SimSpectrometer::setMountedStone(const QString& stoneKey)
{
    QMutexLocker lock(&m_mutex);
    m_mountedStone = stoneKey;
}

void SimSpectrometer::setPeakAmplitude(const QString& value)
{
    QMutexLocker lock(&m_mutex);
    m_peakAmplitude = value;
}

void SimSpectrometer::setPeakPosition(const QString& value)
{
    QMutexLocker lock(&m_mutex);
    m_peakPosition = value;
}

void SimSpectrometer::setStatusMessageCode(const QString& code)
{
    QMutexLocker lock(&m_mutex);
    m_statusMessageCode = code;
}

void SimSpectrometer::setStatusCode(const QString& code)
{
    QMutexLocker lock(&m_mutex);
    m_statusCode = code;
}

void SimSpectrometer::setReplyFor(const QString& itemPrefix, const QByteArray& value)
{
    QMutexLocker lock(&m_mutex);
    m_replies.emplace_back(itemPrefix, value);
}

void SimSpectrometer::clearReplies()
{
    QMutexLocker lock(&m_mutex);
    m_replies.clear();
}

void SimSpectrometer::setLogSink(std::function<void(const QString&)> sink)
{
    QMutexLocker lock(&m_mutex);
    m_logSink = std::move(sink);
}

std::vector<SimSpectrometer::Exchange> SimSpectrometer::log() const
{
    QMutexLocker lock(&m_mutex);
    return m_log;
}

QStringList SimSpectrometer::receivedLines() const
{
    QMutexLocker lock(&m_mutex);
    QStringList lines;
    for (const Exchange& exchange : m_log)
        if (exchange.fromStation)
            lines << QString::fromUtf8(exchange.bytes);
    return lines;
}

QStringList SimSpectrometer::advisedItems() const
{
    QStringList items;
    for (const QString& line : receivedLines())
        if (line.startsWith(QLatin1String("ADVISE ")))
            items << line.mid(7);
    return items;
}

QStringList SimSpectrometer::executedCommands() const
{
    QStringList commands;
    for (const QString& line : receivedLines())
        if (line.startsWith(QLatin1String("EXECUTE ")))
            commands << line.mid(8);
    return commands;
}

int SimSpectrometer::connectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_connectionCount;
}

void SimSpectrometer::clearLog()
{
    QMutexLocker lock(&m_mutex);
    m_log.clear();
}

void SimSpectrometer::record(bool fromStation, const QByteArray& bytes)
{
    std::function<void(const QString&)> sink;
    {
        QMutexLocker lock(&m_mutex);
        m_log.push_back({fromStation, bytes});
        sink = m_logSink;
    }
    if (sink) {
        QByteArray shown = bytes.left(200);
        shown.replace('\r', "\\r").replace('\n', "\\n");
        sink((fromStation ? QStringLiteral("<- ") : QStringLiteral("-> ")) + QString::fromUtf8(shown) +
             (bytes.size() > 200 ? QStringLiteral("... (%1 bytes)").arg(bytes.size()) : QString()));
    }
}

void SimSpectrometer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(nullptr);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connections[socket] = Connection();
        {
            QMutexLocker lock(&m_mutex);
            ++m_connectionCount;
        }
        QObject::connect(socket, &QTcpSocket::readyRead, m_context, [this, socket] { onReadyRead(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, m_context, [this, socket] {
            m_connections.erase(socket);
            socket->deleteLater();
        });
    }
}

void SimSpectrometer::onReadyRead(QTcpSocket* socket)
{
    auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    found->second.buffer.append(socket->readAll());
    qsizetype lf;
    while ((lf = found->second.buffer.indexOf('\n')) >= 0) {
        const QByteArray line = found->second.buffer.left(lf);
        found->second.buffer.remove(0, lf + 1);
        handleLine(socket, line);
        found = m_connections.find(socket);
        if (found == m_connections.end() || socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void SimSpectrometer::answer(QTcpSocket* socket, const QByteArray& bytes)
{
    int delayMs;
    {
        QMutexLocker lock(&m_mutex);
        delayMs = m_answerDelayMs;
    }
    if (delayMs > 0)
        QThread::msleep(ulong(delayMs));
    record(false, bytes);
    socket->write(bytes);
    socket->flush();
}

void SimSpectrometer::handleLine(QTcpSocket* socket, const QByteArray& line)
{
    record(true, line);
    bool neverAnswer, refuse, notify;
    QString dropOn, dropOnRequest;
    {
        QMutexLocker lock(&m_mutex);
        neverAnswer = m_neverAnswer;
        refuse = m_refuseItems;
        notify = m_notify;
        dropOn = m_dropOnItem;
        dropOnRequest = m_dropOnRequest;
    }
    if (neverAnswer)
        return;
    Connection& connection = m_connections[socket];
    const QString text = QString::fromUtf8(line);
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    const QString verb = blank < 0 ? text : text.left(blank);
    const QString argument = blank < 0 ? QString() : text.mid(blank + 1);

    if (verb == QLatin1String("CONNECT")) {
        if (argument != Topic) {
            answer(socket, "ERROR Unknown topic " + argument.toUtf8() + "\n");
            return;
        }
        connection.conversationOpen = true;
        answer(socket, "OK\n");
        return;
    }
    if (verb == QLatin1String("TIMEOUT")) {
        // The station's reply timeout, for a bridge's DDE calls; nothing here waits on the software.
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,7}$"));
        const bool valid =
            digits.match(argument).hasMatch() && argument.toLong() >= 1 && argument.toLong() <= 3600000;
        answer(socket, valid ? QByteArray("OK\n")
                             : QByteArray("ERROR TIMEOUT needs milliseconds from 1 to 3600000\n"));
        return;
    }
    if (verb != QLatin1String("ADVISE") && verb != QLatin1String("REQUEST") &&
        verb != QLatin1String("EXECUTE")) {
        answer(socket, "ERROR Unknown request\n");
        return;
    }
    if (!connection.conversationOpen) {
        answer(socket, "ERROR No conversation\n");
        return;
    }
    if ((!dropOn.isEmpty() && argument.startsWith(dropOn)) ||
        (verb == QLatin1String("REQUEST") && !dropOnRequest.isEmpty() && argument == dropOnRequest)) {
        socket->abort();
        return;
    }
    if (verb == QLatin1String("EXECUTE")) {
        runCommand(argument);
        answer(socket, "OK\n");
        return;
    }
    if (refuse) {
        answer(socket, "ERROR Item refused\n");
        return;
    }
    if (verb == QLatin1String("ADVISE")) {
        answer(socket, "OK\n");
        m_results[argument] = runCommand(argument);
        if (notify && socket->state() == QAbstractSocket::ConnectedState) {
            record(false, "NOTIFY " + argument.toUtf8());
            socket->write("NOTIFY " + argument.toUtf8() + "\n");
            socket->flush();
        }
        return;
    }
    // REQUEST: the result of the item's last run, or a run now.
    auto result = m_results.find(argument);
    const QByteArray value = result != m_results.end() ? result->second : runCommand(argument);
    answer(socket, "OK " + QByteArray::number(value.size()) + "\n" + value);
}
