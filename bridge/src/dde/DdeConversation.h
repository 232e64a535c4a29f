#pragma once

#include <windows.h>

#include <ddeml.h>

#include <functional>
#include <string>

// One DDEML client conversation with the spectrometer software in text format, spoken in UTF-8: texts
// reach the software in the workstation's ANSI code page and its answers come back converted; a text
// the code page cannot hold is refused, never sent changed. Every call blocks until its answer or its
// time-out, serving the thread's messages meanwhile (DDEML answers with posted messages), and advise
// announcements arrive through the notify handler on the same thread. A call that timed out leaves
// the conversation out of step: the next call ends it and opens a fresh one first, so a late answer
// is never taken for a later call's. Several instances may live on one thread.
class DdeConversation
{
public:
    // Serves the thread's messages for at most ms milliseconds, returning as soon as finished() holds
    // (or earlier: the caller checks and waits again). False abandons the call: the program is ending.
    using Wait = std::function<bool(DWORD ms, const std::function<bool()>& finished)>;

    DdeConversation();
    ~DdeConversation();
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    bool initialise(std::string* error);
    // The longest wait for one answer; may change at any time, a waiting call included.
    void setTimeoutMs(DWORD ms) { m_timeoutMs = ms; }
    DWORD timeoutMs() const { return m_timeoutMs; }
    // How a call waits; empty: serveMessages.
    void setWait(Wait wait) { m_wait = std::move(wait); }
    // The default wait: MsgWaitForMultipleObjects, then every queued message dispatched until
    // finished(); a WM_QUIT is put back and abandons the call.
    static bool serveMessages(DWORD ms, const std::function<bool()>& finished);

    // Called with the item (UTF-8) whenever the software announces that its value is ready.
    void setNotifyHandler(std::function<void(const std::string&)> handler) { m_notify = std::move(handler); }
    // Called when DDEML reports that the software ended the conversation; not for disconnect().
    void setDisconnectHandler(std::function<void()> handler) { m_disconnected = std::move(handler); }

    bool connect(const std::string& service, const std::string& topic, std::string* error);
    // Ends the conversation (a call still waiting fails at once).
    void disconnect();
    bool isOpen() const { return m_conv != nullptr; }
    // Asks DDEML whether the conversation still stands; Wine's DDEML does not report the software's
    // end through the callback.
    bool stillConnected() const;

    // Starts a warm (notify) advise link on the item, ending the previous item's link first: the
    // software announces the value and the caller requests it.
    bool advise(const std::string& item, std::string* error);
    // Hands DDE messages already queued (an announcement right behind an acknowledgement) to their
    // handlers now.
    void deliverQueued();
    bool request(const std::string& item, std::string* value, std::string* error);
    bool execute(const std::string& command, std::string* error);
    // True when the last failed call ran out of time.
    bool lastFailureTimedOut() const { return m_timedOut; }

private:
    bool open(std::string* error);
    bool resync(std::string* error);
    void endConversation();
    bool itemName(const std::string& item, std::string* ansi, std::string* error);
    // Runs one transaction asynchronously and waits until it completes or times out: Wine's
    // synchronous wait ends at any DDE message of the conversation, so advise data that crosses a call
    // would be taken for its reply.
    bool transact(UINT type, HSZ item, std::string* data, const std::string& what, std::string* error);
    static HDDEDATA CALLBACK callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR data1, ULONG_PTR data2);
    static DdeConversation* owning(HCONV conv);
    std::string failure(const std::string& what);
    std::string stringOf(HSZ hsz) const;

    DWORD m_instance = 0;
    HCONV m_conv = nullptr;
    std::string m_service; // ANSI, kept to reopen the conversation
    std::string m_topic;
    std::string m_name; // service|topic as the caller wrote it
    bool m_outOfStep = false;
    bool m_endedBySoftware = false;
    DWORD m_timeoutMs = 10000;
    Wait m_wait;
    std::string m_advisedItem; // ANSI
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
