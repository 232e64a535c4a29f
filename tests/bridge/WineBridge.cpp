#include "WineBridge.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpServer>

namespace {

constexpr int StartTimeoutMs = 60000;

QString wineProgram()
{
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    return wine.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("wine64")) : wine;
}

QProcessEnvironment wineEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), QStringLiteral(STATION_WINE_PREFIX));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

void end(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(10000);
    process.reset();
}

} // namespace

QString WineBridge::wine()
{
    return wineProgram();
}

QProcessEnvironment WineBridge::environment()
{
    return wineEnvironment();
}

QString WineBridge::bridgeExe()
{
    return QStringLiteral(STATION_BRIDGE_EXE);
}

QString WineBridge::doubleExe()
{
    return QStringLiteral(STATION_DDE_DOUBLE_EXE);
}

QString WineBridge::unavailableReason()
{
    if (bridgeExe().isEmpty())
        return QStringLiteral(
            "the bridge is not cross-built (mingw-w64 not found or STATION_BUILD_BRIDGE=OFF)");
    if (!QFileInfo::exists(bridgeExe()) || !QFileInfo::exists(doubleExe()))
        return QStringLiteral("the bridge's programs are missing from ") + QFileInfo(bridgeExe()).path();
    if (wineProgram().isEmpty())
        return QStringLiteral("wine is not installed");
    if (!QFileInfo::exists(QStringLiteral(STATION_WINE_PREFIX "/.station-ready")))
        return QStringLiteral(
            "the Wine prefix of this run is not set up (run the wine_prefix_setup test first)");
    return QString();
}

WineBridge::WineBridge() = default;

WineBridge::~WineBridge()
{
    end(m_bridge);
    end(m_double);
}

std::unique_ptr<QProcess> WineBridge::start(const QString& exe, const QStringList& arguments,
                                            const QByteArray& readyText)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(wineEnvironment());
    process->setWorkingDirectory(m_folder.path());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(wineProgram(), QStringList{exe} + arguments);
    if (!process->waitForStarted(StartTimeoutMs)) {
        m_error = exe + QStringLiteral(" did not start: ") + process->errorString();
        return nullptr;
    }
    QByteArray output;
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!output.contains(readyText)) {
        if (deadline.hasExpired() || process->state() != QProcess::Running) {
            m_error = exe + QStringLiteral(" did not become ready: ") + QString::fromLocal8Bit(output) +
                      QString::fromLocal8Bit(process->readAllStandardError());
            process->kill();
            process->waitForFinished(5000);
            return nullptr;
        }
        process->waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        output += process->readAllStandardOutput();
    }
    return process;
}

bool WineBridge::startDouble(const QStringList& switches)
{
    end(m_double);
    const QString record = QDir::toNativeSeparators(m_folder.filePath(QStringLiteral("double-record.txt")));
    m_double = start(doubleExe(), QStringList{QStringLiteral("--record"), record} + switches,
                     "dde-spectrometer-double ready");
    return m_double != nullptr;
}

bool WineBridge::startBridge(const QStringList& options, const QString& listenHost)
{
    end(m_bridge);
    m_port = freePort();
    const QStringList arguments{QStringLiteral("--listen"),
                                QStringLiteral("%1:%2").arg(listenHost).arg(m_port), QStringLiteral("--log"),
                                logPath()};
    m_bridge = start(bridgeExe(), arguments + options, "velora-link-bridge listening");
    return m_bridge != nullptr;
}

void WineBridge::stopDouble()
{
    end(m_double);
}

void WineBridge::stopBridge()
{
    end(m_bridge);
}

QString WineBridge::logPath() const
{
    return m_folder.filePath(QStringLiteral("bridge.log"));
}

QByteArray WineBridge::log() const
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray WineBridge::recordedBytes() const
{
    QFile file(m_folder.filePath(QStringLiteral("double-record.txt")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList WineBridge::recorded() const
{
    QStringList lines = QString::fromUtf8(recordedBytes()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray WineBridge::runToEnd(const QString& exe, const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessEnvironment(wineEnvironment());
    process.start(wineProgram(), QStringList{exe} + arguments);
    if (!process.waitForFinished(StartTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return QByteArray();
    }
    *exitCode = process.exitCode();
    return process.readAllStandardOutput() + process.readAllStandardError();
}

bool LinkClient::connectTo(quint16 port, int timeoutMs)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    return m_socket.waitForConnected(timeoutMs);
}

bool LinkClient::connectFrom(const QHostAddress& from, const QHostAddress& host, quint16 port, int timeoutMs)
{
    if (!m_socket.bind(from))
        return false;
    m_socket.connectToHost(host, port);
    return m_socket.waitForConnected(timeoutMs);
}

void LinkClient::send(const QByteArray& line)
{
    m_socket.write(line + '\n');
    m_socket.flush();
}

qsizetype LinkClient::messageLength() const
{
    const qsizetype lf = m_buffer.indexOf('\n');
    if (lf < 0)
        return -1;
    if (m_buffer.startsWith("OK ")) {
        bool ok = false;
        const qsizetype size = m_buffer.mid(3, lf - 3).toLongLong(&ok);
        if (ok)
            return m_buffer.size() >= lf + 1 + size ? lf + 1 + size : -1;
    }
    return lf + 1;
}

QByteArray LinkClient::take(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype length;
    while ((length = messageLength()) < 0) {
        if (deadline.hasExpired())
            return QByteArray();
        if (m_socket.bytesAvailable() == 0 && m_socket.state() != QAbstractSocket::ConnectedState)
            return QByteArray();
        m_socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        m_buffer += m_socket.readAll();
    }
    const QByteArray message = m_buffer.left(length);
    m_buffer.remove(0, length);
    return message;
}

bool LinkClient::closedWithin(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() == QAbstractSocket::ConnectedState) {
        if (deadline.hasExpired())
            return false;
        m_socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        m_buffer += m_socket.readAll();
    }
    m_buffer += m_socket.readAll();
    return true;
}

QByteArray LinkClient::transact(const QByteArray& line, int timeoutMs)
{
    send(line);
    return take(timeoutMs);
}
