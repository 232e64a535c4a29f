#include "SimController.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A command that has begun but whose count may still be arriving is taken as complete after this
// much quiet on the line (the station writes each command in one go).
constexpr auto kQuietGap = std::chrono::milliseconds(20);
constexpr int kPollMs = 5;
// Unsent output kept at most; a station that never reads must not grow the simulator.
constexpr size_t kMaxOutbox = 8192;

} // namespace

SimController::SimController(double timeScale)
    : m_timeScale(timeScale > 0 ? timeScale : 1.0)
{
}

SimController::~SimController()
{
    stop();
}

bool SimController::start()
{
    if (m_running.load())
        return true;
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::lock_guard lock(m_mutex);
        m_error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        ::close(master);
        ::close(slave);
        std::lock_guard lock(m_mutex);
        m_error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
    {
        std::lock_guard lock(m_mutex);
        m_master = master;
        // Our own copy of the slave stays open so the master never sees a hang-up between the
        // station's opening and closing of the port.
        m_slave = slave;
        m_wakeRead = pipeFds[0];
        m_wakeWrite = pipeFds[1];
        m_devicePath = QString::fromLocal8Bit(name);
        m_plugged = true;
        m_started = std::chrono::steady_clock::now();
        m_error.clear();
    }
    m_stopRequested = false;
    m_unplugRequested = false;
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void SimController::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopRequested = true;
    wake();
    m_thread.join();
    m_running = false;
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
    m_wakeRead = m_wakeWrite = -1;
}

QString SimController::errorString() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

QString SimController::devicePath() const
{
    std::lock_guard lock(m_mutex);
    return m_devicePath;
}

QString SimController::createPortLink(const QString& folder, int comPort)
{
    const QString target = devicePath();
    if (target.isEmpty())
        return QString();
    const QString link = QDir(folder).filePath(QStringLiteral("COM%1").arg(comPort));
    const QByteArray linkPath = QFile::encodeName(link);
    ::unlink(linkPath.constData());
    if (::symlink(QFile::encodeName(target).constData(), linkPath.constData()) != 0)
        return QString();
    return link;
}

std::vector<SimController::Command> SimController::commands() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

QStringList SimController::commandTexts() const
{
    std::lock_guard lock(m_mutex);
    QStringList out;
    for (const Command& c : m_log)
        if (c.valid)
            out << QString::fromLatin1(c.text);
    return out;
}

QStringList SimController::rejectedTexts() const
{
    std::lock_guard lock(m_mutex);
    QStringList out;
    for (const Command& c : m_log)
        if (!c.valid)
            out << QString::fromLatin1(c.text);
    return out;
}

void SimController::clearLog()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

bool SimController::waitForCommands(int n, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::count_if(m_log.begin(), m_log.end(), [](const Command& c) { return c.valid; }) >= n;
    });
}

void SimController::setSilent(bool silent)
{
    m_silent = silent;
}

void SimController::setFlood(bool flood)
{
    m_flood = flood;
    wake();
}

void SimController::unplug()
{
    if (!m_running.load()) {
        closeTerminal();
        return;
    }
    m_unplugRequested = true;
    wake();
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return !m_plugged; });
}

bool SimController::isPlugged() const
{
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

void SimController::setCommandObserver(std::function<void(const Command&, const Position&)> observer)
{
    std::lock_guard lock(m_mutex);
    m_commandObserver = std::move(observer);
}

void SimController::setRestObserver(std::function<void(const Position&)> observer)
{
    std::lock_guard lock(m_mutex);
    m_restObserver = std::move(observer);
}

void SimController::wake()
{
    if (m_wakeWrite >= 0) {
        const char b = 1;
        [[maybe_unused]] const auto n = ::write(m_wakeWrite, &b, 1);
    }
}

void SimController::closeTerminal()
{
    std::lock_guard lock(m_mutex);
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_plugged = false;
    m_changed.notify_all();
}

void SimController::run()
{
    int master;
    {
        std::lock_guard lock(m_mutex);
        master = m_master;
    }
    char buffer[1024];
    while (!m_stopRequested.load()) {
        if (m_unplugRequested.exchange(false) && master >= 0) {
            closeTerminal();
            master = -1;
            m_inbox.clear();
            m_outbox.clear();
        }
        pollfd fds[2] = {{m_wakeRead, POLLIN, 0}, {master, POLLIN, 0}};
        if (master >= 0 && (!m_outbox.empty() || m_flood.load()))
            fds[1].events |= POLLOUT;
        const int nfds = master >= 0 ? 2 : 1;
        const int ready = ::poll(fds, nfds, kPollMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            while (::read(m_wakeRead, buffer, sizeof buffer) > 0) {
            }
        }
        const TimePoint now = std::chrono::steady_clock::now();
        if (master >= 0 && (fds[1].revents & POLLIN)) {
            for (;;) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                received(buffer, static_cast<size_t>(n), now);
            }
        }
        if (master < 0)
            continue;
        if (!m_inbox.empty() && now - m_lastByte >= kQuietGap)
            parse(true, m_lastByte);
        // A report when all axes have come to rest after a move.
        bool moving;
        Position pos;
        std::function<void(const Position&)> restObserver;
        {
            std::lock_guard lock(m_mutex);
            moving = movingAt(now);
            pos = positionAt(now);
            restObserver = m_restObserver;
        }
        if (m_restPending && !moving) {
            m_restPending = false;
            char line[128];
            std::snprintf(line, sizeof line, "POS X%.0f Y%.0f Z%.0f\r\n", pos.x, pos.y, pos.z);
            reply(line);
            if (restObserver)
                restObserver(pos);
        }
        if (m_flood.load() && m_outbox.size() < 512)
            floodLine();
        writePending();
    }
    closeTerminal();
}

void SimController::reply(const std::string& text)
{
    if (m_silent.load() || m_outbox.size() + text.size() > kMaxOutbox)
        return;
    m_outbox += text;
}

void SimController::floodLine()
{
    if (m_silent.load())
        return;
    m_outbox += "POS X0 Y0 Z0 FLOOD FLOOD FLOOD\r\n";
}

void SimController::writePending()
{
    int master;
    {
        std::lock_guard lock(m_mutex);
        master = m_master;
    }
    while (master >= 0 && !m_outbox.empty()) {
        const ssize_t n = ::write(master, m_outbox.data(), m_outbox.size());
        if (n <= 0)
            break; // the station is not reading: keep the rest for later
        m_bytesSent += n;
        m_outbox.erase(0, static_cast<size_t>(n));
    }
}
