#include "double/DdeServerDouble.h"

#include <dde.h>

namespace {

const char* const ListenerClass = "VeloraDdeDouble";
const char* const ConversationClass = "VeloraDdeDoubleConversation";
constexpr WORD AckPositive = 0x8000;

std::string atomName(ATOM atom)
{
    char name[256];
    const UINT length = GlobalGetAtomNameA(atom, name, sizeof name);
    return std::string(name, length);
}

bool sameName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                          int(b.size())) == CSTR_EQUAL;
}

// Command text of a WM_DDE_EXECUTE: ANSI between ANSI windows, UTF-16 when the client is Unicode.
std::string executeText(HGLOBAL commands, bool unicodeClient)
{
    const SIZE_T size = GlobalSize(commands);
    const char* bytes = static_cast<const char*>(GlobalLock(commands));
    if (!bytes)
        return std::string();
    std::string text;
    if (unicodeClient) {
        const auto* wide = reinterpret_cast<const wchar_t*>(bytes);
        const int length = int(wcsnlen(wide, size / sizeof(wchar_t)));
        const int needed = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
        text.resize(size_t(needed));
        WideCharToMultiByte(CP_ACP, 0, wide, length, text.data(), needed, nullptr, nullptr);
    } else {
        text.assign(bytes, strnlen(bytes, size));
    }
    GlobalUnlock(commands);
    return text;
}

} // namespace

DdeServerDouble::DdeServerDouble(Settings settings)
    : m_settings(std::move(settings))
    , m_commands(m_settings.dataRoot)
{
}

DdeServerDouble::~DdeServerDouble()
{
    if (m_record)
        std::fclose(m_record);
}

bool DdeServerDouble::start(std::string* error)
{
    if (!m_settings.recordPath.empty()) {
        m_record = std::fopen(m_settings.recordPath.c_str(), "ab");
        if (!m_record) {
            *error = "cannot write " + m_settings.recordPath;
            return false;
        }
    }
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA listener{};
    listener.lpfnWndProc = &DdeServerDouble::listenerProc;
    listener.hInstance = instance;
    listener.lpszClassName = ListenerClass;
    WNDCLASSA conversation{};
    conversation.lpfnWndProc = &DdeServerDouble::conversationProc;
    conversation.hInstance = instance;
    conversation.lpszClassName = ConversationClass;
    RegisterClassA(&listener);
    RegisterClassA(&conversation);
    // A top-level window: DDE initiation is broadcast to top-level windows only.
    m_listener = CreateWindowA(ListenerClass, "dde-spectrometer-double", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                               nullptr, instance, nullptr);
    if (!m_listener) {
        *error = "cannot create the server window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    SetWindowLongPtrA(m_listener, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

int DdeServerDouble::run()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

void DdeServerDouble::record(const std::string& line)
{
    if (!m_record)
        return;
    std::fputs((line + "\n").c_str(), m_record);
    std::fflush(m_record);
}

void DdeServerDouble::answerDelay(const std::string& item) const
{
    if (m_settings.answerDelayMs == 0)
        return;
    if (m_settings.delayOnItem.empty() || item.rfind(m_settings.delayOnItem, 0) == 0)
        Sleep(m_settings.answerDelayMs);
}

LRESULT CALLBACK DdeServerDouble::listenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<DdeServerDouble*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == WM_DDE_INITIATE) {
        self->onInitiate(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void DdeServerDouble::onInitiate(HWND client, ATOM application, ATOM topic)
{
    // A zero atom asks for any server or any topic.
    if (application && !sameName(atomName(application), m_settings.service))
        return;
    if (topic && !sameName(atomName(topic), m_settings.topic))
        return;
    record("CONNECT " + m_settings.service + "|" + m_settings.topic);
    if (m_settings.refuseConversation)
        return;
    HWND window = CreateWindowA(ConversationClass, "", WS_CHILD, 0, 0, 0, 0, m_listener, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_conversations[window] = Conversation{client, false};
    // The acknowledging server creates the atoms it answers with; the client deletes them.
    SendMessageA(
        client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
        MAKELPARAM(GlobalAddAtomA(m_settings.service.c_str()), GlobalAddAtomA(m_settings.topic.c_str())));
}

LRESULT CALLBACK DdeServerDouble::conversationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<DdeServerDouble*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message >= WM_DDE_FIRST && message <= WM_DDE_LAST)
        return self->onConversationMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT DdeServerDouble::onConversationMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto found = m_conversations.find(window);
    if (found == m_conversations.end())
        return 0;
    Conversation& conversation = found->second;
    if (reinterpret_cast<HWND>(wParam) != conversation.client)
        return 0;

    if (message == WM_DDE_TERMINATE) {
        if (!conversation.terminating) {
            record("TERMINATE");
            PostMessageA(conversation.client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        }
        m_conversations.erase(found);
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DDE_ACK) {
        // The client's acknowledgement of advise data: its item atom is ours to delete.
        UINT_PTR status = 0, item = 0;
        UnpackDDElParam(WM_DDE_ACK, lParam, &status, &item);
        FreeDDElParam(WM_DDE_ACK, lParam);
        if (item)
            GlobalDeleteAtom(ATOM(item));
        return 0;
    }
    if (conversation.terminating)
        return 0;
    switch (message) {
    case WM_DDE_ADVISE:
        onAdvise(window, conversation, lParam);
        break;
    case WM_DDE_UNADVISE:
        onUnadvise(window, conversation, lParam);
        break;
    case WM_DDE_REQUEST:
        onRequest(window, conversation, lParam);
        break;
    case WM_DDE_EXECUTE:
        onExecute(window, conversation, lParam);
        break;
    case WM_DDE_POKE: {
        UINT_PTR data = 0, item = 0;
        UnpackDDElParam(WM_DDE_POKE, lParam, &data, &item);
        PostMessageA(conversation.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     ReuseDDElParam(lParam, WM_DDE_POKE, WM_DDE_ACK, 0, item));
        break;
    }
    default:
        break;
    }
    return 0;
}

bool DdeServerDouble::dropsOn(HWND window, Conversation& conversation, const std::string& item)
{
    if (m_settings.dropOnItem.empty() || item.rfind(m_settings.dropOnItem, 0) != 0)
        return false;
    conversation.terminating = true;
    PostMessageA(conversation.client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
    return true;
}

void DdeServerDouble::onAdvise(HWND window, Conversation& conversation, LPARAM lParam)
{
    UINT_PTR options = 0, itemAtom = 0;
    UnpackDDElParam(WM_DDE_ADVISE, lParam, &options, &itemAtom);
    const std::string item = atomName(ATOM(itemAtom));
    bool ackRequested = false, deferUpdates = false;
    if (auto* advise = static_cast<DDEADVISE*>(GlobalLock(reinterpret_cast<HGLOBAL>(options)))) {
        ackRequested = advise->fAckReq;
        deferUpdates = advise->fDeferUpd;
        GlobalUnlock(reinterpret_cast<HGLOBAL>(options));
    }
    // The warm link is what the software is asked for; a hot one is marked.
    record("ADVISE " + item + (deferUpdates ? "" : " (hot link)"));
    if (m_settings.neverAnswer || dropsOn(window, conversation, item))
        return;
    answerDelay(item);
    if (m_settings.refuseItems) {
        // On a negative acknowledgement the options stay the client's to free.
        PostMessageA(conversation.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     ReuseDDElParam(lParam, WM_DDE_ADVISE, WM_DDE_ACK, 0, itemAtom));
        return;
    }
    // Like the software: the item runs as a command and its result is announced when ready. It is
    // ready before the acknowledgement, so the announcement follows that at once, as the simulated
    // software's does, and not after whatever else this process gets held up by.
    m_results[item] = m_commands.run(item);
    PostMessageA(conversation.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                 ReuseDDElParam(lParam, WM_DDE_ADVISE, WM_DDE_ACK, AckPositive, itemAtom));
    GlobalFree(reinterpret_cast<HGLOBAL>(options));
    if (!m_settings.notify)
        return;
    if (deferUpdates)
        postNotice(window, conversation.client, item);
    else
        postData(window, conversation.client, item, m_results[item], false, ackRequested);
}

void DdeServerDouble::onUnadvise(HWND window, Conversation& conversation, LPARAM lParam)
{
    const ATOM item = HIWORD(lParam);
    record("UNADVISE " + atomName(item));
    if (m_settings.neverAnswer)
        return;
    PostMessageA(conversation.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                 PackDDElParam(WM_DDE_ACK, AckPositive, item));
}

void DdeServerDouble::onRequest(HWND window, Conversation& conversation, LPARAM lParam)
{
    const ATOM itemAtom = HIWORD(lParam);
    const std::string item = atomName(itemAtom);
    record("REQUEST " + item);
    if (m_settings.neverAnswer || dropsOn(window, conversation, item))
        return;
    answerDelay(item);
    if (m_settings.refuseItems) {
        PostMessageA(conversation.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     PackDDElParam(WM_DDE_ACK, 0, itemAtom));
        return;
    }
    // The result of the item's last run, or a run now.
    const auto result = m_results.find(item);
    const std::string value = result != m_results.end() ? result->second : m_commands.run(item);
    // The request's item atom travels on with the data.
    GlobalDeleteAtom(itemAtom);
    postData(window, conversation.client, item, value, true, false);
}

void DdeServerDouble::onExecute(HWND window, Conversation& conversation, LPARAM lParam)
{
    const auto commands = reinterpret_cast<HGLOBAL>(lParam);
    const std::string command = executeText(commands, IsWindowUnicode(conversation.client));
    record("EXECUTE " + command);
    if (m_settings.neverAnswer || dropsOn(window, conversation, command))
        return;
    answerDelay(command);
    m_commands.run(command);
    PostMessageA(conversation.client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                 PackDDElParam(WM_DDE_ACK, AckPositive, reinterpret_cast<UINT_PTR>(commands)));
}

void DdeServerDouble::postData(HWND window, HWND client, const std::string& item, const std::string& value,
                               bool response, bool ackRequested)
{
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEDATA) + value.size() + 1);
    if (!data)
        return;
    auto* content = static_cast<DDEDATA*>(GlobalLock(data));
    content->fResponse = response;
    content->fRelease = TRUE;
    content->fAckReq = ackRequested;
    content->cfFormat = CF_TEXT;
    memcpy(content->Value, value.c_str(), value.size() + 1);
    GlobalUnlock(data);
    const ATOM atom = GlobalAddAtomA(item.c_str());
    if (!PostMessageA(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(window),
                      PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(data), atom))) {
        GlobalFree(data);
        GlobalDeleteAtom(atom);
    }
}

void DdeServerDouble::postNotice(HWND window, HWND client, const std::string& item)
{
    // A warm link's announcement: WM_DDE_DATA without data, only the item.
    const ATOM atom = GlobalAddAtomA(item.c_str());
    if (!PostMessageA(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(window),
                      PackDDElParam(WM_DDE_DATA, 0, atom)))
        GlobalDeleteAtom(atom);
}
