#pragma once

#include "LoopbackListener.h"
#include "SimRecordedRequest.h"

#include <functional>

// The listening front of a simulated HTTP peer. It accepts connections on loopback, reads each
// request whole (so that it is recorded exactly as sent, header order included), and passes it on
// to the peer's HTTP server; replies flow back unchanged unless a fault says otherwise.
class SimHttpTap
{
public:
    struct Decision
    {
        bool dropConnection = false; // close without any reply
        bool resetMidReply = false;  // pass on the reply's head and a few bytes, then reset
    };
    using Inspector = std::function<Decision(const SimRecordedRequest&)>;

    SimHttpTap(int backendPort, Inspector inspector);
    ~SimHttpTap();
    SimHttpTap(const SimHttpTap&) = delete;
    SimHttpTap& operator=(const SimHttpTap&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port). False when the port cannot be had.
    bool listen(int port);
    int port() const { return m_listener.port(); }
    void stop();

private:
    void serve(int client, int wake, int connection);

    int m_backendPort;
    Inspector m_inspector;
    LoopbackListener m_listener;
};
