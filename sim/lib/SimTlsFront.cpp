#include "SimTlsFront.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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
    if (!m_listener.start(port, SOCK_NONBLOCK, [this](int client, int wake, int) { serve(client, wake); })) {
        m_error = m_listener.error();
        return false;
    }
    return true;
}

void SimTlsFront::stop()
{
    m_listener.stop();
}

void SimTlsFront::serve(int client, int wake)
{
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(m_context));
    SSL_set_fd(ssl, client);
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
