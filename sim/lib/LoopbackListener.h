#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Accepts TCP connections on 127.0.0.1 and serves each on its own thread until stop(). The
// handler owns the client socket; the wake descriptor turns readable once stop() begins, so a
// handler polls it beside its sockets and returns promptly.
class LoopbackListener
{
public:
    // connection counts accepted connections from 1, in the order they were accepted.
    using Handler = std::function<void(int client, int wakeFd, int connection)>;

    LoopbackListener() = default;
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port). acceptFlags are added to SOCK_CLOEXEC for
    // each accepted socket, which also gets TCP_NODELAY. False when the port cannot be had.
    bool start(int port, int acceptFlags, Handler handler);
    // Wakes every thread, joins them and closes the listening socket; safe to call twice.
    void stop();
    int port() const { return m_port; }
    std::string error() const { return m_error; }

private:
    void acceptLoop();

    Handler m_handler;
    int m_acceptFlags = 0;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    int m_port = 0;
    int m_nextConnection = 1;
    std::string m_error;
    std::thread m_acceptThread;
    std::mutex m_threadsMutex;
    struct Connection
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    // Finished connections are joined as new ones arrive, the rest at stop().
    std::list<Connection> m_connections;
};

// A connected socket to 127.0.0.1:port with TCP_NODELAY, or -1.
int connectLoopback(int port);

// Writes all of data to a blocking socket; false when the peer is gone.
bool sendAll(int fd, const char* data, size_t size);
