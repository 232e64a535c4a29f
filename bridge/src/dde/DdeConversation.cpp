#include "dde/DdeConversation.h"

#include "dde/AnsiText.h"
#include "dde/Utf8.h"

#include <dde.h>

#include <algorithm>
#include <vector>

namespace {

// DDE names items with atoms, which hold at most 255 characters.
constexpr size_t MaxItemCharacters = 255;
// A software that ended without a word is noticed this often while a call waits.
constexpr DWORD LivenessCheckMs = 250;

// Frees a DDEML string handle when it goes out of scope.
class StringHandle
{
public:
    StringHandle(DWORD instance, const std::string& ansi)
        : m_instance(instance)
        , m_hsz(DdeCreateStringHandleA(instance, ansi.c_str(), CP_WINANSI))
    {
    }
    ~StringHandle()
    {
        if (m_hsz)
            DdeFreeStringHandle(m_instance, m_hsz);
    }
    StringHandle(const StringHandle&) = delete;
    StringHandle& operator=(const StringHandle&) = delete;
    HSZ get() const { return m_hsz; }

private:
    DWORD m_instance;
    HSZ m_hsz;
};

bool isTimeout(UINT code)
{
    return code == DMLERR_ADVACKTIMEOUT || code == DMLERR_DATAACKTIMEOUT || code == DMLERR_EXECACKTIMEOUT ||
           code == DMLERR_POKEACKTIMEOUT || code == DMLERR_UNADVACKTIMEOUT;
}

// DDEML passes no context to its callback: it finds its conversation among these (one thread).
std::vector<DdeConversation*>& everyConversation()
{
    static std::vector<DdeConversation*> conversations;
    return conversations;
}

// A DDE text ends at its first NUL: one inside would cut what the software receives.
bool holdsNul(const std::string& text, std::string* error)
{
    if (text.find('\0') == std::string::npos)
        return false;
    *error = "Character U+0000 cannot be sent in a DDE text; not sent";
    return true;
}

} // namespace

std::string ddemlErrorName(UINT code)
{
    switch (code) {
    case DMLERR_NO_ERROR:
        return "DMLERR_NO_ERROR";
    case DMLERR_ADVACKTIMEOUT:
        return "DMLERR_ADVACKTIMEOUT";
    case DMLERR_BUSY:
        return "DMLERR_BUSY";
    case DMLERR_DATAACKTIMEOUT:
        return "DMLERR_DATAACKTIMEOUT";
    case DMLERR_DLL_NOT_INITIALIZED:
        return "DMLERR_DLL_NOT_INITIALIZED";
    case DMLERR_DLL_USAGE:
        return "DMLERR_DLL_USAGE";
    case DMLERR_EXECACKTIMEOUT:
        return "DMLERR_EXECACKTIMEOUT";
    case DMLERR_INVALIDPARAMETER:
        return "DMLERR_INVALIDPARAMETER";
    case DMLERR_LOW_MEMORY:
        return "DMLERR_LOW_MEMORY";
    case DMLERR_MEMORY_ERROR:
        return "DMLERR_MEMORY_ERROR";
    case DMLERR_NOTPROCESSED:
        return "DMLERR_NOTPROCESSED";
    case DMLERR_NO_CONV_ESTABLISHED:
        return "DMLERR_NO_CONV_ESTABLISHED";
    case DMLERR_POKEACKTIMEOUT:
        return "DMLERR_POKEACKTIMEOUT";
    case DMLERR_POSTMSG_FAILED:
        return "DMLERR_POSTMSG_FAILED";
    case DMLERR_REENTRANCY:
        return "DMLERR_REENTRANCY";
    case DMLERR_SERVER_DIED:
        return "DMLERR_SERVER_DIED";
    case DMLERR_SYS_ERROR:
        return "DMLERR_SYS_ERROR";
    case DMLERR_UNADVACKTIMEOUT:
        return "DMLERR_UNADVACKTIMEOUT";
    case DMLERR_UNFOUND_QUEUE_ID:
        return "DMLERR_UNFOUND_QUEUE_ID";
    default:
        return "DDEML error " + std::to_string(code);
    }
}

DdeConversation::DdeConversation()
{
    everyConversation().push_back(this);
}

DdeConversation::~DdeConversation()
{
    disconnect();
    if (m_instance)
        DdeUninitialize(m_instance);
    auto& all = everyConversation();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

DdeConversation* DdeConversation::owning(HCONV conv)
{
    if (!conv)
        return nullptr;
    for (DdeConversation* conversation : everyConversation())
        if (conversation->m_conv == conv)
            return conversation;
    return nullptr;
}

bool DdeConversation::initialise(std::string* error)
{
    const UINT result =
        DdeInitializeA(&m_instance, &DdeConversation::callback,
                       APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0);
    if (result != DMLERR_NO_ERROR) {
        *error = "DDEML did not start: " + ddemlErrorName(result);
        m_instance = 0;
        return false;
    }
    return true;
}

std::string DdeConversation::failure(const std::string& what)
{
    const UINT code = DdeGetLastError(m_instance);
    m_timedOut = isTimeout(code);
    return what + ": " + ddemlErrorName(code);
}

std::string DdeConversation::stringOf(HSZ hsz) const
{
    char text[1024];
    const DWORD length = DdeQueryStringA(m_instance, hsz, text, sizeof text, CP_WINANSI);
    return std::string(text, length);
}

bool DdeConversation::connect(const std::string& service, const std::string& topic, std::string* error)
{
    disconnect();
    m_timedOut = false;
    if (holdsNul(service + topic, error) || !utf8ToAnsi(service, &m_service, error) ||
        !utf8ToAnsi(topic, &m_topic, error))
        return false;
    m_name = service + "|" + topic;
    return open(error);
}

bool DdeConversation::open(std::string* error)
{
    m_outOfStep = m_endedBySoftware = false;
    StringHandle serviceName(m_instance, m_service);
    StringHandle topicName(m_instance, m_topic);
    if (!serviceName.get() || !topicName.get()) {
        *error = failure("Invalid service or topic name");
        return false;
    }
    DdeGetLastError(m_instance);
    m_conv = DdeConnect(m_instance, serviceName.get(), topicName.get(), nullptr);
    if (!m_conv) {
        *error = failure("No conversation with " + m_name);
        return false;
    }
    return true;
}

void DdeConversation::disconnect()
{
    endConversation();
    m_outOfStep = false;
}

void DdeConversation::endConversation()
{
    const HCONV conv = m_conv;
    if (!conv)
        return;
    // Forgotten first: what DDEML reports while the conversation ends is not ours to hand on.
    m_conv = nullptr;
    m_advisedItem.clear();
    if (m_pending) {
        m_pending = false;
        DdeAbandonTransaction(m_instance, conv, 0);
    }
    DdeDisconnect(conv);
}

bool DdeConversation::resync(std::string* error)
{
    if (!m_outOfStep)
        return true;
    // The software may still answer the call that timed out; that answer now reaches a closed
    // conversation instead of this call.
    endConversation();
    return open(error);
}

bool DdeConversation::stillConnected() const
{
    if (!m_conv)
        return false;
    CONVINFO info{};
    info.cb = sizeof info;
    if (!DdeQueryConvInfo(m_conv, QID_SYNC, &info))
        return false;
    // A software that ended without a word (killed, crashed) leaves the status as it was; its window
    // is gone though.
    return (info.wStatus & ST_CONNECTED) != 0 && IsWindow(info.hwndPartner);
}

bool DdeConversation::itemName(const std::string& item, std::string* ansi, std::string* error)
{
    if (holdsNul(item, error))
        return false;
    const Utf8Decoded decoded = decodeUtf8(item);
    if (decoded.valid && utf16Length(decoded.codePoints) > MaxItemCharacters) {
        *error = "Item longer than " + std::to_string(MaxItemCharacters) + " characters: not a DDE item name";
        return false;
    }
    return utf8ToAnsi(item, ansi, error);
}

bool DdeConversation::advise(const std::string& item, std::string* error)
{
    m_timedOut = false;
    std::string name;
    if (!itemName(item, &name, error) || !resync(error))
        return false;
    if (!m_advisedItem.empty()) {
        // One link at a time: the software's link control serves a single item.
        StringHandle previous(m_instance, m_advisedItem);
        m_advisedItem.clear();
        if (!transact(XTYP_ADVSTOP, previous.get(), nullptr, "Advise stop failed", error) &&
            (m_timedOut || !isOpen()))
            return false;
    }
    StringHandle handle(m_instance, name);
    if (!handle.get()) {
        *error = failure("Invalid item name");
        return false;
    }
    // A warm link: the software announces the value without sending it; it is requested afterwards.
    if (!transact(XTYP_ADVSTART | XTYPF_NODATA, handle.get(), nullptr, "Advise failed", error))
        return false;
    m_advisedItem = name;
    return true;
}

void DdeConversation::deliverQueued()
{
    // Only DDE messages: anything else handled here would run inside the caller's current step.
    MSG message;
    while (m_conv && PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool DdeConversation::request(const std::string& item, std::string* value, std::string* error)
{
    m_timedOut = false;
    std::string name;
    if (!itemName(item, &name, error) || !resync(error))
        return false;
    StringHandle handle(m_instance, name);
    if (!handle.get()) {
        *error = failure("Invalid item name");
        return false;
    }
    std::string bytes;
    if (!transact(XTYP_REQUEST, handle.get(), &bytes, "Request failed", error))
        return false;
    // Text format ends at its terminating NUL.
    const size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    *value = ansiToUtf8(bytes);
    return true;
}

bool DdeConversation::execute(const std::string& command, std::string* error)
{
    m_timedOut = false;
    std::string text;
    if (holdsNul(command, error) || !utf8ToAnsi(command, &text, error) || !resync(error))
        return false;
    text.push_back('\0');
    return transact(XTYP_EXECUTE, nullptr, &text, "Execute failed", error);
}

bool DdeConversation::serveMessages(DWORD ms, const std::function<bool()>& finished)
{
    // Also returns at once for messages already seen but not yet taken from the queue.
    MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (!finished() && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

bool DdeConversation::transact(UINT type, HSZ item, std::string* data, const std::string& what,
                               std::string* error)
{
    m_timedOut = false;
    if (!m_conv) {
        *error = what + ": " + ddemlErrorName(DMLERR_NO_CONV_ESTABLISHED);
        return false;
    }
    if (m_pending) {
        // Started from a handler that ran inside another call's wait: one call at a time.
        *error = what + ": " + ddemlErrorName(DMLERR_REENTRANCY);
        return false;
    }
    const bool sendsData = type == XTYP_EXECUTE;
    DWORD id = 0;
    m_completed = m_succeeded = false;
    m_status = 0;
    m_reply.clear();
    DdeGetLastError(m_instance);
    if (!DdeClientTransaction(sendsData ? reinterpret_cast<LPBYTE>(data->data()) : nullptr,
                              sendsData ? DWORD(data->size()) : 0, m_conv, item, CF_TEXT, type, TIMEOUT_ASYNC,
                              &id)) {
        *error = failure(what);
        return false;
    }
    m_pendingId = id;
    m_pendingType = type & ~XTYPF_NODATA;
    m_pending = true;
    const HCONV conv = m_conv;
    const std::function<bool()> finished = [this, conv] { return m_completed || m_conv != conv; };
    const DWORD start = GetTickCount();
    while (!m_completed) {
        if (m_conv != conv) {
            // Ended by the software, or by a handler that ran while this call waited.
            m_pending = false;
            *error = what + ": " +
                     (m_endedBySoftware ? ddemlErrorName(DMLERR_SERVER_DIED) : "the conversation was ended");
            return false;
        }
        if (!stillConnected()) {
            m_pending = false;
            DdeAbandonTransaction(m_instance, conv, 0);
            *error = what + ": " + ddemlErrorName(DMLERR_SERVER_DIED);
            return false;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= m_timeoutMs) {
            m_pending = false;
            DdeAbandonTransaction(m_instance, conv, 0);
            m_timedOut = true;
            m_outOfStep = true;
            const UINT code = m_pendingType == XTYP_REQUEST   ? DMLERR_DATAACKTIMEOUT
                              : m_pendingType == XTYP_EXECUTE ? DMLERR_EXECACKTIMEOUT
                              : m_pendingType == XTYP_ADVSTOP ? DMLERR_UNADVACKTIMEOUT
                                                              : DMLERR_ADVACKTIMEOUT;
            *error = what + ": " + ddemlErrorName(code);
            return false;
        }
        const DWORD slice = std::min(m_timeoutMs - elapsed, LivenessCheckMs);
        if (!(m_wait ? m_wait(slice, finished) : serveMessages(slice, finished))) {
            m_pending = false;
            if (m_conv == conv)
                DdeAbandonTransaction(m_instance, conv, 0);
            *error = what + ": the program is ending";
            return false;
        }
    }
    m_pending = false;
    // Wine keeps a completed asynchronous transaction queued, and the next reply would be matched
    // against it; on Windows it is gone already. 0: every one of the conversation, as Wine does not
    // match the identifier it handed out. Only one is ever outstanding.
    DdeAbandonTransaction(m_instance, conv, 0);
    if (!m_succeeded) {
        *error = what + ": " + ddemlErrorName((m_status & DDE_FBUSY) ? DMLERR_BUSY : DMLERR_NOTPROCESSED);
        return false;
    }
    if (m_pendingType == XTYP_REQUEST)
        *data = std::move(m_reply);
    return true;
}

HDDEDATA CALLBACK DdeConversation::callback(UINT type, UINT, HCONV conv, HSZ, HSZ hsz2, HDDEDATA data,
                                            ULONG_PTR data1, ULONG_PTR data2)
{
    DdeConversation* self = owning(conv);
    if (!self)
        return nullptr;
    switch (type) {
    case XTYP_XACT_COMPLETE:
        if (self->m_pending && data1 == self->m_pendingId) {
            self->m_completed = true;
            self->m_succeeded = data != nullptr;
            self->m_status = DWORD(data2);
            // Only a request completes with a data handle; the others with TRUE.
            const bool hasData = data && self->m_pendingType == XTYP_REQUEST;
            const DWORD size = hasData ? DdeGetData(data, nullptr, 0, 0) : 0;
            self->m_reply.assign(size, '\0');
            if (size > 0)
                DdeGetData(data, reinterpret_cast<LPBYTE>(self->m_reply.data()), size, 0);
        }
        return nullptr;
    case XTYP_ADVDATA:
        // On a warm link data is empty: only the item is announced.
        if (self->m_notify)
            self->m_notify(ansiToUtf8(self->stringOf(hsz2)));
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    case XTYP_DISCONNECT:
        self->m_conv = nullptr;
        self->m_advisedItem.clear();
        self->m_outOfStep = false;
        self->m_endedBySoftware = true;
        if (self->m_disconnected)
            self->m_disconnected();
        return nullptr;
    default:
        return nullptr;
    }
}
