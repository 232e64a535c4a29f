#pragma once

#include "LoopbackListener.h"

#include <atomic>
#include <string>

// The HTTPS face of a simulated HTTP peer: accepts TLS connections on loopback with the given
// certificate and key (PEM files) and relays the plain bytes to the peer's own port, so the peer
// records exactly what a client sent once the handshake succeeded, and nothing when it failed.
class SimTlsFront
{
public:
    SimTlsFront(int backendPort, std::string certificateFile, std::string keyFile);
    ~SimTlsFront();
    SimTlsFront(const SimTlsFront&) = delete;
    SimTlsFront& operator=(const SimTlsFront&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port). False when the port, certificate or key
    // cannot be had; error() says which.
    bool listen(int port);
    int port() const { return m_listener.port(); }
    void stop();
    std::string error() const { return m_error; }
    // Handshakes that did not complete (the client refused the certificate, or spoke no TLS).
    int failedHandshakes() const { return m_failedHandshakes; }

private:
    void serve(int client, int wake);

    int m_backendPort;
    std::string m_certificateFile;
    std::string m_keyFile;
    std::string m_error;
    void* m_context = nullptr; // SSL_CTX
    std::atomic<int> m_failedHandshakes{0};
    LoopbackListener m_listener;
};
