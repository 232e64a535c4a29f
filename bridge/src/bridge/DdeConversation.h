#pragma once

#include <windows.h>

#include <ddeml.h>

#include <functional>
#include <string>

// One DDEML client conversation with the spectrometer software, in text format. Every call is
// synchronous and bounded by the time-out; advise data arrives through the DDEML callback on the
// thread's message loop. DDEML passes no context to its callback, so one instance per process.
class DdeConversation
{
public:
    DdeConversation();
    ~DdeConversation();
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    bool initialise(std::string* error);
    void setTimeoutMs(DWORD ms) { m_timeoutMs = ms; }
    // Called with the item whenever the software sends advise data.
    void setNotifyHandler(std::function<void(const std::string&)> handler) { m_notify = std::move(handler); }
    // Called when DDEML reports that the software ended the conversation.
    void setDisconnectHandler(std::function<void()> handler) { m_disconnected = std::move(handler); }

    bool connect(const std::string& service, const std::string& topic, std::string* error);
    void disconnect();
    bool isOpen() const { return m_conv != nullptr; }
    // Asks DDEML whether the conversation still stands; Wine's DDEML does not report the
    // software's end through the callback.
    bool stillConnected() const;

    // Starts a hot advise link on the item, ending the previous item's link first.
    bool advise(const std::string& item, std::string* error);
    // Hands DDE messages already queued (an announcement right behind an acknowledgement) to their
    // handlers now.
    void deliverQueued();
    bool request(const std::string& item, std::string* value, std::string* error);
    bool execute(const std::string& command, std::string* error);
    // True when the last failed call ran out of time (the conversation is then out of step).
    bool lastFailureTimedOut() const { return m_timedOut; }

private:
    // Runs one transaction asynchronously and serves the thread's messages until it completes or
    // times out: Wine's synchronous wait ends at any DDE message of the conversation, so advise data
    // that crosses a call would be taken for its reply.
    bool transact(UINT type, HSZ item, std::string* data, const std::string& what, std::string* error);
    static HDDEDATA CALLBACK callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR data1, ULONG_PTR data2);
    std::string failure(const std::string& what);
    std::string stringOf(HSZ hsz) const;

    static DdeConversation* s_instance;
    DWORD m_instance = 0;
    HCONV m_conv = nullptr;
    DWORD m_timeoutMs = 10000;
    std::string m_advisedItem;
    bool m_timedOut = false;
    DWORD m_pendingId = 0;
    UINT m_pendingType = 0;
    bool m_pending = false;
    bool m_completed = false;
    bool m_succeeded = false;
    DWORD m_status = 0;
    std::string m_reply;
    std::function<void(const std::string&)> m_notify;
    std::function<void()> m_disconnected;
};

// The name of a DDEML error code, for example DMLERR_NO_CONV_ESTABLISHED.
std::string ddemlErrorName(UINT code);
