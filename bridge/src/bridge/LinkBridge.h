#pragma once

#include "bridge/AddressFilter.h"
#include "bridge/LineBuffer.h"
#include "bridge/StationEvents.h"
#include "common/RotatingLog.h"
#include "dde/DdeConversation.h"

#include <winsock2.h>

#include <memory>
#include <string>

// Serves one station at a time on a TCP address and turns its link-protocol lines into DDEML calls.
// A new connection from an allowed address takes over from the current one, so a station that
// vanished without closing never locks the next one out. A hidden window on the one thread receives
// the socket events (WSAAsyncSelect), the poll timer and DDEML's own messages, so the DDE conversation
// lives on the thread that runs the message loop.
class LinkBridge
{
public:
    struct Settings
    {
        std::string host = "127.0.0.1";
        unsigned short port = 4411;
        DWORD ddeTimeoutMs = 10000;
        size_t maxLineBytes = 4096;
        UINT pollMs = 250;
        AddressFilter allowed = AddressFilter::loopback();
    };

    LinkBridge(Settings settings, RotatingLog& log);
    ~LinkBridge();
    LinkBridge(const LinkBridge&) = delete;
    LinkBridge& operator=(const LinkBridge&) = delete;

    bool start(std::string* error);
    int run();

private:
    struct Station
    {
        explicit Station(size_t maxLineBytes)
            : lines(maxLineBytes)
        {
        }
        SOCKET socket = INVALID_SOCKET;
        unsigned generation = 0;
        StationEvents::Connection events; // its own WSAAsyncSelect message
        std::string peer;
        LineBuffer lines;
        std::string output;
        bool closing = false; // told its last; closed once that is sent
        bool readPending = false;
        bool closePending = false;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onListenEvent(WORD event, WORD error);
    void onStationEvent(WORD event, WORD error);
    void takeOver(const std::string& peer);
    void receive();
    void serveLines();
    void handleLine(const std::string& line);
    bool servedStationGone() const;
    void answer(const std::string& bytes);
    void notify(const std::string& item);
    void flushOutput();
    void closeStation(const std::string& reason);
    void dropStation(const std::string& reason);
    void endConversation(const std::string& reason);
    void pollConversation();

    Settings m_settings;
    RotatingLog& m_log;
    HWND m_window = nullptr;
    SOCKET m_listener = INVALID_SOCKET;
    std::unique_ptr<Station> m_station;
    unsigned m_generations = 0;
    StationEvents m_events;
    // A line is being served: the wait for DDE dispatches socket events and advise data meanwhile.
    bool m_busy = false;
    unsigned m_servedGeneration = 0; // the station whose line is being served
    DdeConversation m_dde;
    bool m_wsaStarted = false;
};
