#include "SimSpectrometer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMetaObject>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cmath>
#include <random>

namespace {

const QString Topic = QStringLiteral("OPUS|System");
const QByteArray SimFileMagic = "VELORA-SIM-OPUS";
constexpr double Pi = 3.14159265358979323846;

quint64 fnv1a(const QByteArray& bytes)
{
    quint64 hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash ^= quint8(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

double gauss(double x, double centre, double width)
{
    const double d = (x - centre) / width;
    return std::exp(-0.5 * d * d);
}

// A value in characters 3 to 12 of the reply, as the station reads it.
QByteArray valueReply(const QString& value)
{
    return "OK" + value.leftJustified(10, QLatin1Char(' ')).toUtf8() + "\r\n";
}

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

QByteArray SimSpectrometer::overrideFor(const QString& item, bool* found) const
{
    QMutexLocker lock(&m_mutex);
    // The latest matching setting wins.
    for (auto it = m_replies.rbegin(); it != m_replies.rend(); ++it) {
        if (item.startsWith(it->first)) {
            *found = true;
            return it->second;
        }
    }
    *found = false;
    return QByteArray();
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

QByteArray SimSpectrometer::runCommand(const QString& command)
{
    bool overridden = false;
    const QByteArray override = overrideFor(command, &overridden);
    QString amplitude, position, messageCode, statusCode;
    {
        QMutexLocker lock(&m_mutex);
        amplitude = m_peakAmplitude;
        position = m_peakPosition;
        messageCode = m_statusMessageCode;
        statusCode = m_statusCode;
    }
    QByteArray result;
    if (command.startsWith(QLatin1String("MeasureSample")))
        result = measureSample(command);
    else if (command.startsWith(QLatin1String("SAVEAS"), Qt::CaseInsensitive))
        result = saveAs(command);
    else if (command == QLatin1String("READ_PARAMETER PKA"))
        result = valueReply(amplitude);
    else if (command == QLatin1String("READ_PARAMETER ABP"))
        result = valueReply(position);
    else if (command == QLatin1String("DIAG_STATUS MESSAGE"))
        result = valueReply(messageCode);
    else if (command == QLatin1String("DIAG_STATUS"))
        result = valueReply(statusCode);
    else if (command == QLatin1String("REQUEST_MODE") ||
             command.startsWith(QLatin1String("MeasureReference")) ||
             command.startsWith(QLatin1String("TAKE_REFERENCE")) ||
             command.startsWith(QLatin1String("UNLOAD_FILE ")) ||
             command.startsWith(QLatin1String("READ_FROM_FILE ")) ||
             command.startsWith(QLatin1String("READ_FROM_BLOCK ")) || command == QLatin1String("CLOSE_OPUS"))
        result = "OK\r\n";
    else
        result = "ERROR Unknown command\r\n";
    return overridden ? override : result;
}

QByteArray SimSpectrometer::measureSample(const QString& command)
{
    static const QRegularExpression nameRe(QStringLiteral("NAM='([^']*)'"));
    static const QRegularExpression folderRe(QStringLiteral("PTH='([^']*)'"));
    const QRegularExpressionMatch name = nameRe.match(command);
    const QRegularExpressionMatch folder = folderRe.match(command);
    if (!name.hasMatch() || !folder.hasMatch())
        return "ERROR MeasureSample without NAM or PTH\r\n";
    const QString commandPath = folder.captured(1) + QLatin1Char('\\') + name.captured(1);
    const QString dir = localPath(folder.captured(1));
    if (!QFileInfo(dir).isDir())
        return "ERROR Path not found: " + folder.captured(1).toUtf8() + "\r\n";
    QString key;
    {
        QMutexLocker lock(&m_mutex);
        key = m_mountedStone;
    }
    if (key.isEmpty())
        key = stoneKeyFor(name.captured(1));
    const int scan = m_scanCounts[key]++;
    QFile file(QDir(dir).filePath(name.captured(1)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return "ERROR Cannot write " + commandPath.toUtf8() + "\r\n";
    file.write(SimFileMagic + "\n" + key.toUtf8() + "\n" + QByteArray::number(scan) + "\n");
    file.write(spectrumFor(key, scan));
    if (!file.flush()) {
        file.close();
        file.remove();
        return "ERROR Cannot write " + commandPath.toUtf8() + "\r\n";
    }
    file.close();
    // From character 8 on: the file's path, one character, then a blank.
    return "OK\r\n1\r\n" + commandPath.toUtf8() + ", 1 AB\r\n";
}

QByteArray SimSpectrometer::saveAs(const QString& command)
{
    static const QRegularExpression sourceRe(
        QStringLiteral("^SAVEAS\\s*\\(?\\s*\\[\\s*[\"']([^\"']*)[\"']\\s*:\\s*AB\\s*\\]"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression folderRe(QStringLiteral("DAP='([^']*)'"));
    static const QRegularExpression nameRe(QStringLiteral("SAN='([^']*)'"));
    const QRegularExpressionMatch source = sourceRe.match(command);
    const QRegularExpressionMatch folder = folderRe.match(command);
    const QRegularExpressionMatch name = nameRe.match(command);
    if (!source.hasMatch() || !folder.hasMatch() || !name.hasMatch())
        return "ERROR SAVEAS without file, DAP or SAN\r\n";
    QFile measured(localPath(source.captured(1)));
    if (!measured.open(QIODevice::ReadOnly))
        return "ERROR File not loaded: " + source.captured(1).toUtf8() + "\r\n";
    const QByteArray content = measured.readAll();
    qsizetype start = 0;
    for (int lines = 0; lines < 3 && start >= 0; ++lines) {
        start = content.indexOf('\n', start);
        if (start >= 0)
            ++start;
    }
    if (!content.startsWith(SimFileMagic) || start < 0)
        return "ERROR No AB block in " + source.captured(1).toUtf8() + "\r\n";
    QString target = name.captured(1);
    if (!target.endsWith(QLatin1String(".dpt"), Qt::CaseInsensitive))
        target += QLatin1String(".dpt");
    const QString dir = localPath(folder.captured(1));
    QFile table(QDir(dir).filePath(target));
    if (!table.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return "ERROR Cannot write " + target.toUtf8() + "\r\n";
    const QByteArray body = content.mid(start);
    if (table.write(body) != body.size() || !table.flush()) {
        table.close();
        table.remove();
        return "ERROR Cannot write " + target.toUtf8() + "\r\n";
    }
    return "OK\r\n";
}

QString SimSpectrometer::stoneKeyFor(const QString& sampleName)
{
    static const QRegularExpression stationPiece(QStringLiteral("-\\d"));
    const QRegularExpressionMatch match = stationPiece.match(sampleName);
    if (match.hasMatch())
        return sampleName.left(match.capturedStart());
    const qsizetype dot = sampleName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? sampleName : sampleName.left(dot);
}

QString SimSpectrometer::localPath(const QString& commandPath) const
{
#ifdef Q_OS_WIN
    return commandPath;
#else
    QString path = commandPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    const QString root = m_dataRoot.isEmpty() ? QDir::currentPath() : m_dataRoot;
    static const QRegularExpression drive(QStringLiteral("^([A-Za-z]):/?"));
    const QRegularExpressionMatch match = drive.match(path);
    if (match.hasMatch())
        return QDir(root).filePath(match.captured(1).toUpper() + QLatin1Char('/') +
                                   path.mid(match.capturedEnd()));
    if (path.startsWith(QLatin1Char('/')))
        return path;
    return QDir(root).filePath(path);
#endif
}

QByteArray SimSpectrometer::spectrumFor(const QString& stoneKey, int scanIndex)
{
    // The stone: how thick it is and what its nitrogen looks like, all from its key.
    const quint64 stoneSeed = fnv1a(stoneKey.toUtf8());
    std::mt19937_64 stoneRng(stoneSeed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double thickness = 0.6 + 1.0 * unit(stoneRng);
    const double nitrogenA = 1.2 * unit(stoneRng);
    const double nitrogenB = 0.8 * unit(stoneRng) * unit(stoneRng);
    const double platelets = nitrogenB > 0.2 ? 0.3 * unit(stoneRng) : 0.02 * unit(stoneRng);
    const double plateletPosition = 1362.0 + 10.0 * unit(stoneRng);
    const double hydrogen = unit(stoneRng) < 0.4 ? 0.25 * unit(stoneRng) : 0.0;
    const double baseline = 0.03 + 0.09 * unit(stoneRng);
    const double slope = 0.00002 * (unit(stoneRng) - 0.5);
    const double phase = 2.0 * Pi * unit(stoneRng);

    // The scan: the stone turned by 45 degrees per measurement, plus detector noise.
    const double angle = phase + scanIndex * Pi / 4.0;
    const double gain = 1.0 + 0.015 * std::sin(angle);
    const double offset = 0.004 * std::cos(angle);
    std::mt19937_64 scanRng(stoneSeed ^ (0x9E3779B97F4A7C15ull * quint64(scanIndex + 1)));
    std::normal_distribution<double> noise(0.0, 0.0015);

    QByteArray table;
    table.reserve(3601 * 24);
    for (int i = 0; i <= 3600; ++i) {
        const double wn = 4000.0 - i;
        // Intrinsic two- and three-phonon absorption of diamond.
        double a = thickness *
                   (0.55 * gauss(wn, 1975, 40) + 0.75 * gauss(wn, 2030, 25) + 0.70 * gauss(wn, 2160, 35) +
                    0.45 * gauss(wn, 2250, 60) + 0.30 * gauss(wn, 2470, 50) + 0.12 * gauss(wn, 2650, 60) +
                    0.06 * gauss(wn, 3100, 200) + 0.04 * gauss(wn, 3650, 150));
        // Nitrogen one-phonon features: A centre, B centre, platelets; hydrogen lines.
        a += nitrogenA * (gauss(wn, 1282, 30) + 0.5 * gauss(wn, 1215, 25) + 0.4 * gauss(wn, 1093, 20));
        a += nitrogenB * (gauss(wn, 1175, 30) + 0.6 * gauss(wn, 1010, 25) + 0.35 * gauss(wn, 1332, 12));
        a += platelets * gauss(wn, plateletPosition, 6);
        a += hydrogen * (gauss(wn, 3107, 4) + 0.3 * gauss(wn, 1405, 4));
        a = gain * a + baseline + slope * (wn - 2200.0) + offset + noise(scanRng);
        table += QByteArray::number(wn, 'f', 5) + ',' + QByteArray::number(a, 'f', 6) + "\r\n";
    }
    return table;
}
