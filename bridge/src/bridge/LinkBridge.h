#pragma once

#include "bridge/DdeConversation.h"
#include "bridge/LineBuffer.h"
#include "common/RotatingLog.h"

#include <winsock2.h>

#include <string>

// Serves one station at a time on a TCP address and turns its link-protocol lines into DDEML calls.
// A hidden window on the one thread receives the socket events (WSAAsyncSelect), the poll timer and
// DDEML's own messages, so the DDE conversation lives on the thread that runs the message loop.
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
    };

    LinkBridge(Settings settings, RotatingLog& log);
    ~LinkBridge();
    LinkBridge(const LinkBridge&) = delete;
    LinkBridge& operator=(const LinkBridge&) = delete;

    bool start(std::string* error);
    int run();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onListenEvent(WORD event, WORD error);
    void onStationEvent(WORD event, WORD error);
    void readStation();
    void serveLines();
    void handleLine(const std::string& line);
    void answer(const std::string& bytes);
    void flushOutput();
    void closeStation(const std::string& reason);
    void endConversation(const std::string& reason);
    void pollConversation();

    Settings m_settings;
    RotatingLog& m_log;
    HWND m_window = nullptr;
    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_station = INVALID_SOCKET;
    std::string m_peer;
    LineBuffer m_lines;
    std::string m_output;
    bool m_closeAfterFlush = false;
    // A line is being served: the wait for DDE dispatches socket events and advise data meanwhile.
    bool m_busy = false;
    bool m_readPending = false;
    bool m_closePending = false;
    DdeConversation m_dde;
    bool m_wsaStarted = false;
};
