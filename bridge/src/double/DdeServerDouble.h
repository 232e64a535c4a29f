#pragma once

#include "double/SpectrometerCommands.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

// The spectrometer software as a DDE server, written with the raw DDE messages: it accepts
// conversations on service|topic, runs every advised or requested item and every executed text as a
// command, and announces an advised item's result: on a warm link (the client asked for no data) an
// empty announcement, the client then requests the value; on a hot link the value itself. It records
// what it received as it received it, in the ANSI code page. Fault switches make it refuse the
// conversation, never answer, answer late (every call, or only some), refuse items or drop the
// conversation.
class DdeServerDouble
{
public:
    struct Settings
    {
        std::string service = "OPUS";
        std::string topic = "System";
        std::string dataRoot;
        std::string recordPath; // every received transaction, one line each
        bool refuseConversation = false;
        bool neverAnswer = false;
        bool refuseItems = false;
        bool notify = true;
        DWORD answerDelayMs = 0;
        std::string delayOnItem; // non-empty: only such items and commands are answered late
        std::string dropOnItem;  // the conversation ends when such an item or command arrives
    };

    explicit DdeServerDouble(Settings settings);
    ~DdeServerDouble();
    DdeServerDouble(const DdeServerDouble&) = delete;
    DdeServerDouble& operator=(const DdeServerDouble&) = delete;

    bool start(std::string* error);
    int run();

private:
    struct Conversation
    {
        HWND client = nullptr;
        bool terminating = false; // we sent WM_DDE_TERMINATE and wait for the client's
    };

    static LRESULT CALLBACK listenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK conversationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onInitiate(HWND client, ATOM application, ATOM topic);
    LRESULT onConversationMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onAdvise(HWND window, Conversation& conversation, LPARAM lParam);
    void onUnadvise(HWND window, Conversation& conversation, LPARAM lParam);
    void onRequest(HWND window, Conversation& conversation, LPARAM lParam);
    void onExecute(HWND window, Conversation& conversation, LPARAM lParam);
    bool dropsOn(HWND window, Conversation& conversation, const std::string& item);
    void postData(HWND window, HWND client, const std::string& item, const std::string& value, bool response,
                  bool ackRequested);
    void postNotice(HWND window, HWND client, const std::string& item);
    void answerDelay(const std::string& item) const;
    void record(const std::string& line);

    Settings m_settings;
    SpectrometerCommands m_commands;
    std::map<std::string, std::string> m_results;
    std::map<HWND, Conversation> m_conversations;
    HWND m_listener = nullptr;
    std::FILE* m_record = nullptr;
};
