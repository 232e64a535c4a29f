#include "SimController.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
// Unparsed input kept at most; a station that sends garbage must not grow the simulator.
constexpr size_t kMaxInbox = 4096;
constexpr size_t kMaxOutbox = 8192;

bool isCommandStart(char c)
{
    return c == 'I' || c == 'X' || c == 'Y' || c == 'Z';
}

bool isNumberChar(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' || c == 'e';
}

} // namespace

double SimController::Axis::at(TimePoint now) const
{
    if (durationMs <= 0)
        return to;
    const double elapsed = std::chrono::duration<double, std::milli>(now - started).count();
    if (elapsed >= durationMs)
        return to;
    return from + (to - from) * std::max(0.0, elapsed) / durationMs;
}

bool SimController::Axis::movingAt(TimePoint now) const
{
    return durationMs > 0 && std::chrono::duration<double, std::milli>(now - started).count() < durationMs;
}

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

SimController::Position SimController::position() const
{
    std::lock_guard lock(m_mutex);
    return positionAt(std::chrono::steady_clock::now());
}

bool SimController::isMoving() const
{
    std::lock_guard lock(m_mutex);
    return movingAt(std::chrono::steady_clock::now());
}

bool SimController::isInitialised() const
{
    std::lock_guard lock(m_mutex);
    return m_initialised || (m_initialising && std::chrono::steady_clock::now() >= m_initialiseUntil);
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

void SimController::received(const char* data, size_t size, TimePoint now)
{
    m_inbox.append(data, size);
    m_lastByte = now;
    parse(false, now);
    if (m_inbox.size() > kMaxInbox) {
        Command junk;
        junk.text = m_inbox;
        junk.at = now;
        execute(std::move(junk));
        m_inbox.clear();
    }
}

// Commands arrive without separators: a command is its letters and the number that follows; it
// ends where the next command letter begins. A trailing command is complete after a quiet gap.
void SimController::parse(bool flushTail, TimePoint now)
{
    size_t pos = 0;
    std::string junk;
    auto flushJunk = [&] {
        if (junk.empty())
            return;
        Command c;
        c.text = junk;
        c.at = now;
        execute(std::move(c));
        junk.clear();
    };
    while (pos < m_inbox.size()) {
        const char c = m_inbox[pos];
        if (!isCommandStart(c)) {
            junk.push_back(c);
            ++pos;
            continue;
        }
        if (c == 'I') {
            flushJunk();
            Command cmd;
            cmd.text = "I";
            cmd.letters = "I";
            cmd.valid = true;
            cmd.at = now;
            execute(std::move(cmd));
            ++pos;
            continue;
        }
        if (pos + 1 >= m_inbox.size()) {
            if (!flushTail)
                break;
            junk.push_back(c);
            ++pos;
            continue;
        }
        const char direction = m_inbox[pos + 1];
        if (direction != 'F' && direction != 'R') {
            junk.push_back(c);
            ++pos;
            continue;
        }
        size_t end = pos + 2;
        while (end < m_inbox.size() && isNumberChar(m_inbox[end]))
            ++end;
        if (end == m_inbox.size() && !flushTail)
            break; // the count may still be arriving
        flushJunk();
        Command cmd;
        cmd.text = m_inbox.substr(pos, end - pos);
        cmd.letters = m_inbox.substr(pos, 2);
        cmd.at = now;
        const std::string number = m_inbox.substr(pos + 2, end - pos - 2);
        if (!number.empty()) {
            char* stop = nullptr;
            const double value = std::strtod(number.c_str(), &stop);
            if (stop == number.c_str() + number.size() && std::isfinite(value)) {
                cmd.count = value;
                cmd.valid = true;
            }
        }
        execute(std::move(cmd));
        pos = end;
    }
    // Text before a command letter can never become part of a command.
    flushJunk();
    m_inbox.erase(0, pos);
}

void SimController::execute(Command command)
{
    std::function<void(const Command&, const Position&)> observer;
    Position pos;
    std::string answer;
    {
        std::lock_guard lock(m_mutex);
        const TimePoint now = command.at;
        command.elapsedMs = std::chrono::duration<double, std::milli>(now - m_started).count();
        const bool initialising = m_initialising && now < m_initialiseUntil;
        if (!initialising && m_initialising) {
            m_initialising = false;
            m_initialised = true;
        }
        if (!command.valid) {
            answer = "ERR\r\n";
        } else if (command.letters == "I") {
            const double ms = kInitialiseMs * m_timeScale;
            for (Axis* axis : {&m_x, &m_y, &m_z}) {
                axis->from = axis->at(now);
                axis->to = 0;
                axis->started = now;
                axis->durationMs = ms;
            }
            m_initialising = true;
            m_initialised = false;
            m_initialiseUntil = now + std::chrono::microseconds(static_cast<std::int64_t>(ms * 1000));
            answer = "OK\r\n";
        } else if (initialising) {
            answer = "BUSY\r\n";
        } else {
            Axis& axis = command.letters[0] == 'X' ? m_x : command.letters[0] == 'Y' ? m_y : m_z;
            const double delta = command.letters[1] == 'F' ? command.count : -command.count;
            const double current = axis.at(now);
            axis.from = current;
            axis.to = axis.to + delta;
            axis.started = now;
            axis.durationMs = std::fabs(axis.to - current) / kStepsPerSecond * 1000.0 * m_timeScale;
            answer = "OK\r\n";
        }
        if (command.valid && answer == "OK\r\n")
            m_restPending = true;
        m_log.push_back(command);
        pos = positionAt(now);
        observer = m_commandObserver;
    }
    m_changed.notify_all();
    reply(answer);
    if (observer)
        observer(command, pos);
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

SimController::Position SimController::positionAt(TimePoint now) const
{
    return {m_x.at(now), m_y.at(now), m_z.at(now)};
}

bool SimController::movingAt(TimePoint now) const
{
    return m_x.movingAt(now) || m_y.movingAt(now) || m_z.movingAt(now);
}
