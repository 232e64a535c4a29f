#include "SimHttpTap.h"

#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <optional>

namespace {

constexpr size_t maxHeadBytes = 1 << 20;

void resetAndClose(int fd)
{
    linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

struct ParsedHead
{
    SimRecordedRequest request;
    size_t headBytes = 0;
    size_t contentLength = 0;
};

// A complete request head at the start of buffer, or nothing yet.
std::optional<ParsedHead> parseHead(const std::string& buffer)
{
    const size_t end = buffer.find("\r\n\r\n");
    if (end == std::string::npos)
        return std::nullopt;
    ParsedHead parsed;
    parsed.headBytes = end + 4;
    size_t lineStart = 0;
    bool first = true;
    while (lineStart < end) {
        size_t lineEnd = buffer.find("\r\n", lineStart);
        if (lineEnd == std::string::npos || lineEnd > end)
            lineEnd = end;
        const std::string line = buffer.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (first) {
            first = false;
            const size_t space1 = line.find(' ');
            const size_t space2 = line.find(' ', space1 == std::string::npos ? 0 : space1 + 1);
            parsed.request.method = line.substr(0, space1);
            if (space1 != std::string::npos)
                parsed.request.target = line.substr(
                    space1 + 1, space2 == std::string::npos ? std::string::npos : space2 - space1 - 1);
            const size_t question = parsed.request.target.find('?');
            parsed.request.path = parsed.request.target.substr(0, question);
            if (question != std::string::npos)
                parsed.request.query = parsed.request.target.substr(question + 1);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        const size_t valueStart = value.find_first_not_of(" \t");
        value = valueStart == std::string::npos ? std::string() : value.substr(valueStart);
        const std::string name = line.substr(0, colon);
        if (strcasecmp(name.c_str(), "Content-Length") == 0)
            parsed.contentLength = size_t(std::strtoull(value.c_str(), nullptr, 10));
        parsed.request.headers.emplace_back(name, value);
    }
    return parsed;
}

// What the peer's HTTP server is given: the request as sent, except that a body on a GET (which
// the server would not read) is left out.
std::string forwardedBytes(const std::string& raw, const ParsedHead& head)
{
    if (head.request.method != "GET" && head.request.method != "HEAD")
        return raw;
    std::string out = head.request.method + " " + head.request.target + " HTTP/1.1\r\n";
    for (const auto& [name, value] : head.request.headers)
        if (strcasecmp(name.c_str(), "Content-Length") != 0 && strcasecmp(name.c_str(), "Content-Type") != 0)
            out += name + ": " + value + "\r\n";
    return out + "\r\n";
}

} // namespace

SimHttpTap::SimHttpTap(int backendPort, Inspector inspector)
    : m_backendPort(backendPort)
    , m_inspector(std::move(inspector))
{
}

SimHttpTap::~SimHttpTap()
{
    stop();
}

bool SimHttpTap::listen(int port)
{
    return m_listener.start(
        port, 0, [this](int client, int wake, int connection) { serve(client, wake, connection); });
}

void SimHttpTap::stop()
{
    m_listener.stop();
}

void SimHttpTap::serve(int client, int wake, int connection)
{
    timeval sendTimeout{2, 0};
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    int backend = connectLoopback(m_backendPort);
    if (backend < 0) {
        ::close(client);
        return;
    }
    std::string incoming;
    std::string replyHead; // reply bytes held back while a reset is pending
    bool resetPending = false;
    char buffer[64 * 1024];

    for (;;) {
        pollfd fds[3] = {{client, POLLIN, 0}, {backend, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0)
            continue;
        if (fds[2].revents)
            break;
        if (fds[0].revents) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            incoming.append(buffer, size_t(got));
            bool closeNow = false;
            while (auto head = parseHead(incoming)) {
                if (incoming.size() < head->headBytes + head->contentLength)
                    break;
                head->request.connection = connection;
                head->request.body = incoming.substr(head->headBytes, head->contentLength);
                const std::string raw = incoming.substr(0, head->headBytes + head->contentLength);
                incoming.erase(0, raw.size());
                const Decision decision = m_inspector(head->request);
                if (decision.dropConnection) {
                    closeNow = true;
                    break;
                }
                resetPending = decision.resetMidReply;
                replyHead.clear();
                if (!sendAll(backend, forwardedBytes(raw, *head).data(), forwardedBytes(raw, *head).size())) {
                    closeNow = true;
                    break;
                }
            }
            if (closeNow ||
                (incoming.size() > maxHeadBytes && incoming.find("\r\n\r\n") == std::string::npos))
                break;
        }
        if (fds[1].revents) {
            const ssize_t got = ::recv(backend, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            if (resetPending) {
                replyHead.append(buffer, size_t(got));
                const size_t end = replyHead.find("\r\n\r\n");
                if (end != std::string::npos && replyHead.size() > end + 4) {
                    // The head and a few bytes of the body, then the connection breaks.
                    sendAll(client, replyHead.data(), std::min(replyHead.size(), end + 4 + 4));
                    resetAndClose(client);
                    ::close(backend);
                    return;
                }
                continue;
            }
            if (!sendAll(client, buffer, size_t(got)))
                break;
        }
    }
    ::close(client);
    ::close(backend);
}
