#include "SimTlsFront.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// Waits until fd is ready for what the TLS call asked for; false when the front is stopping.
bool waitFor(int fd, int sslError, int wakeFd)
{
    const short events = sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) {
    }
    return !fds[1].revents;
}

bool sslWriteAll(SSL* ssl, int fd, int wakeFd, const char* data, size_t size)
{
    while (size > 0) {
        const int sent = SSL_write(ssl, data, int(size));
        if (sent > 0) {
            data += sent;
            size -= size_t(sent);
            continue;
        }
        const int error = SSL_get_error(ssl, sent);
        if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || !waitFor(fd, error, wakeFd))
            return false;
    }
    return true;
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

} // namespace

SimTlsFront::SimTlsFront(int backendPort, std::string certificateFile, std::string keyFile)
    : m_backendPort(backendPort)
    , m_certificateFile(std::move(certificateFile))
    , m_keyFile(std::move(keyFile))
{
}

SimTlsFront::~SimTlsFront()
{
    stop();
    if (m_context)
        SSL_CTX_free(static_cast<SSL_CTX*>(m_context));
}

bool SimTlsFront::listen(int port)
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    m_context = context;
    if (!context || SSL_CTX_use_certificate_chain_file(context, m_certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, m_keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        m_error = "cannot load the certificate " + m_certificateFile + " or its key " + m_keyFile;
        return false;
    }
    if (::pipe2(m_wakePipe, O_CLOEXEC) != 0)
        return false;
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return false;
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 64) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        m_error = "cannot listen on 127.0.0.1:" + std::to_string(port);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void SimTlsFront::stop()
{
    if (m_wakePipe[1] >= 0) {
        const char wake = 1;
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

void SimTlsFront::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            continue;
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
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
        m_connections.push_back({std::thread([this, client, finished] {
                                     serve(client);
                                     *finished = true;
                                 }),
                                 finished});
    }
}

void SimTlsFront::serve(int client)
{
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(m_context));
    SSL_set_fd(ssl, client);
    const int wake = m_wakePipe[0];
    bool accepted = false;
    for (;;) {
        const int result = SSL_accept(ssl);
        if (result == 1) {
            accepted = true;
            break;
        }
        const int error = SSL_get_error(ssl, result);
        if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || !waitFor(client, error, wake))
            break;
    }
    ERR_clear_error();
    const int backend = accepted ? connectLoopback(m_backendPort) : -1;
    if (!accepted)
        ++m_failedHandshakes;

    char buffer[64 * 1024];
    while (backend >= 0) {
        if (SSL_pending(ssl) == 0) {
            pollfd fds[3] = {{client, POLLIN, 0}, {backend, POLLIN, 0}, {wake, POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0)
                continue;
            if (fds[2].revents)
                break;
            if (fds[1].revents) {
                const ssize_t got = ::recv(backend, buffer, sizeof buffer, 0);
                if (got <= 0 || !sslWriteAll(ssl, client, wake, buffer, size_t(got)))
                    break;
            }
            if (!fds[0].revents)
                continue;
        }
        const int got = SSL_read(ssl, buffer, int(sizeof buffer));
        if (got > 0) {
            if (!sendAll(backend, buffer, size_t(got)))
                break;
            continue;
        }
        const int error = SSL_get_error(ssl, got);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            break;
    }
    if (accepted)
        SSL_shutdown(ssl);
    SSL_free(ssl);
    ERR_clear_error();
    ::close(client);
    if (backend >= 0)
        ::close(backend);
}
