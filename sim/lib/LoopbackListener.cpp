#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void setNoDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address = loopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    setNoDelay(fd);
    return fd;
}

LoopbackListener::~LoopbackListener()
{
    stop();
}

bool LoopbackListener::start(int port, int acceptFlags, Handler handler)
{
    m_handler = std::move(handler);
    m_acceptFlags = acceptFlags;
    m_error = "cannot listen on 127.0.0.1:" + std::to_string(port);
    if (::pipe2(m_wakePipe, O_CLOEXEC) != 0)
        return false;
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return false;
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopbackAddress(port);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 64) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    m_error.clear();
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void LoopbackListener::stop()
{
    if (m_wakePipe[1] >= 0) {
        const char wake = 1;
        // Never drained: every poll of every thread sees it from now on.
        [[maybe_unused]] const auto written = ::write(m_wakePipe[1], &wake, 1);
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::list<Connection> connections;
    {
        std::lock_guard lock(m_threadsMutex);
        connections.swap(m_connections);
    }
    for (auto& connection : connections)
        connection.thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    for (int& fd : m_wakePipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void LoopbackListener::acceptLoop()
{
    const int wake = m_wakePipe[0];
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | m_acceptFlags);
        if (client < 0)
            continue;
        setNoDelay(client);
        const int connection = m_nextConnection++;
        std::lock_guard lock(m_threadsMutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (*it->finished) {
                it->thread.join();
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
        auto finished = std::make_shared<std::atomic<bool>>(false);
        m_connections.push_back({std::thread([this, client, wake, connection, finished] {
                                     m_handler(client, wake, connection);
                                     *finished = true;
                                 }),
                                 finished});
    }
}

bool sendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= size_t(sent);
    }
    return true;
}
