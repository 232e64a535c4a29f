#include "bridge/LinkBridge.h"

#include <ws2tcpip.h>

namespace {

constexpr UINT ListenMessage = WM_APP + 1;
constexpr UINT StationMessage = WM_APP + 2;
constexpr UINT ConversationEndedMessage = WM_APP + 3;
constexpr UINT_PTR PollTimer = 1;
// DDE names items with atoms, which hold at most 255 characters.
constexpr size_t MaxItemBytes = 255;
const char* const WindowClass = "VeloraLinkBridge";

std::string socketError(int code)
{
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(code), 0, text,
                   sizeof text, nullptr);
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "socket error " + std::to_string(code) + (message.empty() ? "" : " (" + message + ")");
}

void closeSocket(SOCKET socket)
{
    shutdown(socket, SD_SEND);
    closesocket(socket);
}

} // namespace

LinkBridge::LinkBridge(Settings settings, RotatingLog& log)
    : m_settings(std::move(settings))
    , m_log(log)
    , m_lines(m_settings.maxLineBytes)
{
    m_dde.setTimeoutMs(m_settings.ddeTimeoutMs);
    // Sent as it comes, even while a call is outstanding: the software announced it then.
    m_dde.setNotifyHandler([this](const std::string& item) {
        if (m_station != INVALID_SOCKET && !m_closeAfterFlush)
            answer("NOTIFY " + item + "\n");
    });
    // Closing from inside DDEML's callback would pull the conversation away under it.
    m_dde.setDisconnectHandler([this] { PostMessageA(m_window, ConversationEndedMessage, 0, 0); });
}

LinkBridge::~LinkBridge()
{
    if (m_station != INVALID_SOCKET)
        closesocket(m_station);
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    m_dde.disconnect();
    if (m_window)
        DestroyWindow(m_window);
    if (m_wsaStarted)
        WSACleanup();
}

bool LinkBridge::start(std::string* error)
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        *error = "Winsock did not start";
        return false;
    }
    m_wsaStarted = true;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &LinkBridge::windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = WindowClass;
    RegisterClassA(&windowClass);
    m_window = CreateWindowA(WindowClass, "velora-link-bridge", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, this);
    if (!m_window) {
        *error = "Cannot create the bridge's window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    if (!m_dde.initialise(error))
        return false;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* addresses = nullptr;
    const std::string port = std::to_string(m_settings.port);
    const int resolved = getaddrinfo(m_settings.host.c_str(), port.c_str(), &hints, &addresses);
    if (resolved != 0 || !addresses) {
        *error = "Cannot resolve listen address " + m_settings.host + ": " + socketError(resolved);
        return false;
    }
    m_listener = socket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
    BOOL exclusive = TRUE;
    setsockopt(m_listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    const bool bound = m_listener != INVALID_SOCKET &&
                       bind(m_listener, addresses->ai_addr, int(addresses->ai_addrlen)) == 0 &&
                       listen(m_listener, 4) == 0;
    freeaddrinfo(addresses);
    if (!bound) {
        *error = "Cannot listen on " + m_settings.host + ":" + port + ": " + socketError(WSAGetLastError());
        return false;
    }
    WSAAsyncSelect(m_listener, m_window, ListenMessage, FD_ACCEPT);
    SetTimer(m_window, PollTimer, m_settings.pollMs, nullptr);
    m_log.write("listening on " + m_settings.host + ":" + port);
    return true;
}

int LinkBridge::run()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

LRESULT CALLBACK LinkBridge::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<LinkBridge*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self) {
        switch (message) {
        case ListenMessage:
            self->onListenEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
            return 0;
        case StationMessage:
            if (SOCKET(wParam) == self->m_station)
                self->onStationEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
            return 0;
        case ConversationEndedMessage:
            if (!self->m_busy && self->m_station != INVALID_SOCKET && !self->m_dde.isOpen())
                self->closeStation("the spectrometer software ended the conversation");
            return 0;
        case WM_TIMER:
            if (wParam == PollTimer)
                self->pollConversation();
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void LinkBridge::onListenEvent(WORD event, WORD error)
{
    if (event != FD_ACCEPT)
        return;
    sockaddr_in address{};
    int length = sizeof address;
    const SOCKET incoming = accept(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    if (incoming == INVALID_SOCKET) {
        m_log.write("accept failed: " + socketError(error ? error : WSAGetLastError()));
        return;
    }
    char host[64] = {};
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    const std::string peer = std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
    if (m_station != INVALID_SOCKET) {
        // The accepted socket is non-blocking; one short line fits in any send buffer.
        WSAAsyncSelect(incoming, m_window, 0, 0);
        const std::string refusal = "ERROR Another station is connected\n";
        send(incoming, refusal.data(), int(refusal.size()), 0);
        closeSocket(incoming);
        m_log.write("refused " + peer + ": another station (" + m_peer + ") is connected");
        return;
    }
    m_station = incoming;
    m_peer = peer;
    m_lines.clear();
    m_output.clear();
    m_closeAfterFlush = m_readPending = m_closePending = false;
    BOOL noDelay = TRUE;
    setsockopt(m_station, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    WSAAsyncSelect(m_station, m_window, StationMessage, FD_READ | FD_WRITE | FD_CLOSE);
    m_log.write("station connected from " + peer);
}

void LinkBridge::onStationEvent(WORD event, WORD error)
{
    if (m_busy) {
        // Served once the current line is answered.
        if (event == FD_READ)
            m_readPending = true;
        else if (event == FD_CLOSE)
            m_closePending = true;
        return;
    }
    switch (event) {
    case FD_READ:
        readStation();
        break;
    case FD_WRITE:
        flushOutput();
        break;
    case FD_CLOSE:
        readStation();
        if (m_station != INVALID_SOCKET)
            closeStation(error ? "station connection lost: " + socketError(error)
                               : "station closed the link");
        break;
    default:
        break;
    }
}

void LinkBridge::readStation()
{
    if (m_station == INVALID_SOCKET)
        return;
    char bytes[16384];
    const int received = recv(m_station, bytes, sizeof bytes, 0);
    if (received > 0)
        m_lines.feed(bytes, size_t(received));
    serveLines();
}

void LinkBridge::serveLines()
{
    while (m_station != INVALID_SOCKET && !m_closeAfterFlush && m_lines.hasLine()) {
        const LineBuffer::Line line = m_lines.takeLine();
        m_busy = true;
        if (line.oversized) {
            m_log.write("<- (line longer than " + std::to_string(m_settings.maxLineBytes) + " bytes)");
            answer("ERROR Line too long\n");
        } else {
            handleLine(line.text);
        }
        m_busy = false;
        if (m_closePending) {
            m_closePending = false;
            closeStation("station closed the link");
            return;
        }
        if (m_readPending) {
            m_readPending = false;
            char bytes[16384];
            const int received = recv(m_station, bytes, sizeof bytes, 0);
            if (received > 0)
                m_lines.feed(bytes, size_t(received));
        }
    }
}

void LinkBridge::handleLine(const std::string& line)
{
    m_log.write("<- " + printable(line));
    const size_t blank = line.find(' ');
    const std::string verb = line.substr(0, blank);
    const std::string argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    std::string error;

    if (verb == "CONNECT") {
        const size_t bar = argument.find('|');
        if (bar == std::string::npos || bar == 0 || bar + 1 >= argument.size()) {
            answer("ERROR CONNECT needs service|topic\n");
            return;
        }
        if (m_dde.connect(argument.substr(0, bar), argument.substr(bar + 1), &error))
            answer("OK\n");
        else
            answer("ERROR " + error + "\n");
        return;
    }
    if (verb != "ADVISE" && verb != "REQUEST" && verb != "EXECUTE") {
        answer("ERROR Unknown request\n");
        return;
    }
    if (!m_dde.isOpen()) {
        answer("ERROR No conversation\n");
        return;
    }
    if (argument.empty()) {
        answer("ERROR " + verb + " needs an item\n");
        return;
    }
    if (verb != "EXECUTE" && argument.size() > MaxItemBytes) {
        answer("ERROR Item longer than " + std::to_string(MaxItemBytes) +
               " characters: not a DDE item name\n");
        return;
    }
    bool done = false;
    std::string value;
    if (verb == "ADVISE")
        done = m_dde.advise(argument, &error);
    else if (verb == "REQUEST")
        done = m_dde.request(argument, &value, &error);
    else
        done = m_dde.execute(argument, &error);

    if (done) {
        answer(verb == "REQUEST" ? "OK " + std::to_string(value.size()) + "\n" + value : std::string("OK\n"));
        // An announcement the software posted right behind its acknowledgement follows the answer at
        // once, not at the scheduler's whim: a station waiting a fixed time for it must not miss it.
        if (verb == "ADVISE")
            m_dde.deliverQueued();
        return;
    }
    answer("ERROR " + error + "\n");
    if (m_dde.lastFailureTimedOut()) {
        // A late reply would be taken for the next one's.
        endConversation("time-out; conversation dropped");
    } else if (!m_dde.stillConnected()) {
        endConversation("the spectrometer software ended the conversation");
    }
}

void LinkBridge::answer(const std::string& bytes)
{
    m_log.write("-> " + printable(bytes));
    m_output += bytes;
    flushOutput();
}

void LinkBridge::flushOutput()
{
    while (m_station != INVALID_SOCKET && !m_output.empty()) {
        const int sent = send(m_station, m_output.data(), int(m_output.size()), 0);
        if (sent == SOCKET_ERROR) {
            const int code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK)
                return; // FD_WRITE resumes
            m_output.clear();
            closeStation("station connection lost: " + socketError(code));
            return;
        }
        m_output.erase(0, size_t(sent));
    }
    if (m_closeAfterFlush && m_output.empty() && m_station != INVALID_SOCKET) {
        closeSocket(m_station);
        m_station = INVALID_SOCKET;
        m_closeAfterFlush = false;
    }
}

void LinkBridge::endConversation(const std::string& reason)
{
    m_dde.disconnect();
    closeStation(reason);
}

void LinkBridge::closeStation(const std::string& reason)
{
    if (m_station == INVALID_SOCKET || m_closeAfterFlush)
        return;
    // What was answered still reaches the station before it sees the close; nothing new is added.
    m_closeAfterFlush = true;
    m_log.write("closing station link " + m_peer + ": " + reason);
    m_lines.clear();
    m_dde.disconnect();
    flushOutput();
}

void LinkBridge::pollConversation()
{
    if (m_busy || m_station == INVALID_SOCKET || m_closeAfterFlush || !m_dde.isOpen())
        return;
    if (!m_dde.stillConnected())
        endConversation("the spectrometer software ended the conversation");
}
