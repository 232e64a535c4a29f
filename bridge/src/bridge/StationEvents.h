#pragma once

#include <cstdint>

// Which station connection a socket event belongs to. Winsock reuses socket handle values, so an event
// still queued for a connection that was closed can carry the handle of the one accepted after it
// (a peer's close and reset each post one). Each connection therefore gets its own window message,
// and an event counts only when its message and its socket both match. Plain C++.
class StationEvents
{
public:
    static constexpr unsigned FirstMessage = 0x8000 + 16; // WM_APP + 16
    static constexpr unsigned MessageCount = 0x3000;      // up to WM_APP + 0x3010, below 0xC000

    struct Connection
    {
        unsigned message = 0;
        std::uintptr_t socket = 0;
    };

    // The message the next connection's events arrive with.
    Connection open(std::uintptr_t socket);
    static bool isStationMessage(unsigned message)
    {
        return message >= FirstMessage && message < FirstMessage + MessageCount;
    }
    static bool belongs(unsigned message, std::uintptr_t socket, const Connection& connection)
    {
        return message == connection.message && socket == connection.socket;
    }

private:
    unsigned m_opened = 0;
};
