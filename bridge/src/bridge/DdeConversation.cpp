#include "bridge/DdeConversation.h"

#include <dde.h>

DdeConversation* DdeConversation::s_instance = nullptr;

namespace {

// Frees a DDEML string handle when it goes out of scope.
class StringHandle
{
public:
    StringHandle(DWORD instance, const std::string& text)
        : m_instance(instance)
        , m_hsz(DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI))
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
    s_instance = this;
}

DdeConversation::~DdeConversation()
{
    disconnect();
    if (m_instance)
        DdeUninitialize(m_instance);
    s_instance = nullptr;
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
    StringHandle serviceName(m_instance, service);
    StringHandle topicName(m_instance, topic);
    if (!serviceName.get() || !topicName.get()) {
        *error = failure("Invalid service or topic name");
        return false;
    }
    DdeGetLastError(m_instance);
    m_conv = DdeConnect(m_instance, serviceName.get(), topicName.get(), nullptr);
    if (!m_conv) {
        *error = failure("No conversation with " + service + "|" + topic);
        return false;
    }
    return true;
}

void DdeConversation::disconnect()
{
    if (!m_conv)
        return;
    DdeDisconnect(m_conv);
    m_conv = nullptr;
    m_advisedItem.clear();
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

bool DdeConversation::advise(const std::string& item, std::string* error)
{
    m_timedOut = false;
    if (!m_advisedItem.empty()) {
        // One link at a time: the software's link control serves a single item.
        StringHandle previous(m_instance, m_advisedItem);
        m_advisedItem.clear();
        if (!transact(XTYP_ADVSTOP, previous.get(), nullptr, "Advise stop failed", error) &&
            (m_timedOut || !isOpen()))
            return false;
    }
    StringHandle name(m_instance, item);
    if (!name.get()) {
        *error = failure("Invalid item name");
        return false;
    }
    if (!transact(XTYP_ADVSTART, name.get(), nullptr, "Advise failed", error))
        return false;
    m_advisedItem = item;
    return true;
}

void DdeConversation::deliverQueued()
{
    // Only DDE messages: a station line handled here would be served inside the current one.
    MSG message;
    while (m_conv && PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool DdeConversation::request(const std::string& item, std::string* value, std::string* error)
{
    m_timedOut = false;
    StringHandle name(m_instance, item);
    if (!name.get()) {
        *error = failure("Invalid item name");
        return false;
    }
    std::string bytes;
    if (!transact(XTYP_REQUEST, name.get(), &bytes, "Request failed", error))
        return false;
    // Text format ends at its terminating NUL.
    const size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    *value = std::move(bytes);
    return true;
}

bool DdeConversation::execute(const std::string& command, std::string* error)
{
    m_timedOut = false;
    std::string text = command;
    text.push_back('\0');
    return transact(XTYP_EXECUTE, nullptr, &text, "Execute failed", error);
}

bool DdeConversation::transact(UINT type, HSZ item, std::string* data, const std::string& what,
                               std::string* error)
{
    m_timedOut = false;
    if (!m_conv) {
        *error = what + ": " + ddemlErrorName(DMLERR_NO_CONV_ESTABLISHED);
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
    m_pendingType = type;
    m_pending = true;
    const HCONV conv = m_conv;
    const DWORD start = GetTickCount();
    while (!m_completed) {
        const DWORD elapsed = GetTickCount() - start;
        if (!m_conv || !stillConnected()) {
            m_pending = false;
            if (m_conv == conv)
                DdeAbandonTransaction(m_instance, conv, 0);
            *error = what + ": " + ddemlErrorName(DMLERR_SERVER_DIED);
            return false;
        }
        if (elapsed >= m_timeoutMs) {
            m_pending = false;
            DdeAbandonTransaction(m_instance, conv, 0);
            m_timedOut = true;
            const UINT code = type == XTYP_REQUEST   ? DMLERR_DATAACKTIMEOUT
                              : type == XTYP_EXECUTE ? DMLERR_EXECACKTIMEOUT
                              : type == XTYP_ADVSTOP ? DMLERR_UNADVACKTIMEOUT
                                                     : DMLERR_ADVACKTIMEOUT;
            *error = what + ": " + ddemlErrorName(code);
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, m_timeoutMs - elapsed, QS_ALLINPUT);
        MSG message;
        while (!m_completed && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(int(message.wParam));
                m_pending = false;
                DdeAbandonTransaction(m_instance, conv, 0);
                *error = what + ": the bridge is ending";
                return false;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
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
    if (type == XTYP_REQUEST)
        *data = std::move(m_reply);
    return true;
}

HDDEDATA CALLBACK DdeConversation::callback(UINT type, UINT, HCONV conv, HSZ, HSZ hsz2, HDDEDATA data,
                                            ULONG_PTR data1, ULONG_PTR data2)
{
    DdeConversation* self = s_instance;
    if (!self)
        return nullptr;
    switch (type) {
    case XTYP_XACT_COMPLETE:
        if (conv == self->m_conv && self->m_pending && data1 == self->m_pendingId) {
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
        if (conv == self->m_conv && self->m_notify)
            self->m_notify(self->stringOf(hsz2));
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    case XTYP_DISCONNECT:
        if (conv == self->m_conv) {
            self->m_conv = nullptr;
            self->m_advisedItem.clear();
            if (self->m_disconnected)
                self->m_disconnected();
        }
        return nullptr;
    default:
        return nullptr;
    }
}
