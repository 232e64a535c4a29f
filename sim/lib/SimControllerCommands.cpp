#include "SimController.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Unparsed input kept at most; a station that sends garbage must not grow the simulator.
constexpr size_t kMaxInbox = 4096;

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

SimController::Position SimController::positionAt(TimePoint now) const
{
    return {m_x.at(now), m_y.at(now), m_z.at(now)};
}

bool SimController::movingAt(TimePoint now) const
{
    return m_x.movingAt(now) || m_y.movingAt(now) || m_z.movingAt(now);
}
