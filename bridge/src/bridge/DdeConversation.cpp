#include "bridge/DdeConversation.h"

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
    return (info.wStatus & ST_CONNECTED) != 0;
}

bool DdeConversation::advise(const std::string& item, std::string* error)
{
    m_timedOut = false;
    if (!m_advisedItem.empty()) {
        // One link at a time: the software's link control serves a single item.
        StringHandle previous(m_instance, m_advisedItem);
        m_advisedItem.clear();
        if (!DdeClientTransaction(nullptr, 0, m_conv, previous.get(), CF_TEXT, XTYP_ADVSTOP, m_timeoutMs,
                                  nullptr)) {
            *error = failure("Advise stop failed");
            if (m_timedOut)
                return false;
        }
    }
    StringHandle name(m_instance, item);
    if (!name.get()) {
        *error = failure("Invalid item name");
        return false;
    }
    if (!DdeClientTransaction(nullptr, 0, m_conv, name.get(), CF_TEXT, XTYP_ADVSTART, m_timeoutMs, nullptr)) {
        *error = failure("Advise failed");
        return false;
    }
    m_advisedItem = item;
    return true;
}

bool DdeConversation::request(const std::string& item, std::string* value, std::string* error)
{
    m_timedOut = false;
    StringHandle name(m_instance, item);
    if (!name.get()) {
        *error = failure("Invalid item name");
        return false;
    }
    const HDDEDATA data =
        DdeClientTransaction(nullptr, 0, m_conv, name.get(), CF_TEXT, XTYP_REQUEST, m_timeoutMs, nullptr);
    if (!data) {
        *error = failure("Request failed");
        return false;
    }
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string bytes(size, '\0');
    if (size > 0)
        DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
    DdeFreeDataHandle(data);
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
    if (!DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()), DWORD(text.size()), m_conv, nullptr,
                              CF_TEXT, XTYP_EXECUTE, m_timeoutMs, nullptr)) {
        *error = failure("Execute failed");
        return false;
    }
    return true;
}

HDDEDATA CALLBACK DdeConversation::callback(UINT type, UINT, HCONV conv, HSZ, HSZ hsz2, HDDEDATA, ULONG_PTR,
                                            ULONG_PTR)
{
    DdeConversation* self = s_instance;
    if (!self)
        return nullptr;
    switch (type) {
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
