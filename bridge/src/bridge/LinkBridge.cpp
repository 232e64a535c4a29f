#include "bridge/LinkBridge.h"

#include "bridge/LinkRequest.h"
#include "bridge/Sockets.h"

namespace {

constexpr UINT ListenMessage = WM_APP + 1;
constexpr UINT ConversationEndedMessage = WM_APP + 2;
static_assert(StationEvents::FirstMessage == WM_APP + 16);
constexpr UINT_PTR PollTimer = 1;
// Idle time before the first probe, then between probes (Windows sends ten): a station gone without
// a word is dropped about 40 s later.
constexpr unsigned long KeepAliveIdleMs = 20000;
constexpr unsigned long KeepAliveIntervalMs = 2000;
const char* const WindowClass = "VeloraLinkBridge";
const std::string TakeOverText = "ERROR Another station took over\n";

} // namespace

LinkBridge::LinkBridge(Settings settings, RotatingLog& log)
    : m_settings(std::move(settings))
    , m_log(log)
{
    m_dde.setTimeoutMs(m_settings.ddeTimeoutMs);
    // Sent as it comes, even while a call is outstanding: the software announced it then.
    m_dde.setNotifyHandler([this](const std::string& item) { notify(item); });
    // Closing from inside DDEML's callback would pull the conversation away under it.
    m_dde.setDisconnectHandler([this] {
        PostMessageA(m_window, ConversationEndedMessage, m_station ? m_station->generation : 0, 0);
    });
}

LinkBridge::~LinkBridge()
{
    if (m_station)
        closesocket(m_station->socket);
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
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* addresses = nullptr;
    const std::string port = std::to_string(m_settings.port);
    const std::string shown =
        (m_settings.host.find(':') != std::string::npos ? "[" + m_settings.host + "]" : m_settings.host) +
        ":" + port;
    const int resolved = getaddrinfo(m_settings.host.c_str(), port.c_str(), &hints, &addresses);
    if (resolved != 0 || !addresses) {
        *error = "Cannot resolve listen address " + m_settings.host + ": " + socketError(resolved);
        return false;
    }
    m_listener = socket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
    BOOL exclusive = TRUE;
    setsockopt(m_listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    if (addresses->ai_family == AF_INET6) {
        // [::] serves IPv4 stations too; --allow matches them by their IPv4 address.
        DWORD v6Only = 0;
        setsockopt(m_listener, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6Only),
                   sizeof v6Only);
    }
    const bool bound = m_listener != INVALID_SOCKET &&
                       bind(m_listener, addresses->ai_addr, int(addresses->ai_addrlen)) == 0 &&
                       listen(m_listener, 4) == 0;
    freeaddrinfo(addresses);
    if (!bound) {
        *error = "Cannot listen on " + shown + ": " + socketError(WSAGetLastError());
        return false;
    }
    WSAAsyncSelect(m_listener, m_window, ListenMessage, FD_ACCEPT);
    SetTimer(m_window, PollTimer, m_settings.pollMs, nullptr);
    m_log.write("listening on " + shown);
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
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    if (StationEvents::isStationMessage(message)) {
        const Station* station = self->m_station.get();
        if (station && StationEvents::belongs(message, wParam, station->events))
            self->onStationEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return 0;
    }
    switch (message) {
    case ListenMessage:
        self->onListenEvent(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return 0;
    case ConversationEndedMessage:
        if (!self->m_busy && self->m_station && self->m_station->generation == wParam &&
            !self->m_dde.isOpen())
            self->closeStation("the spectrometer software ended the conversation");
        return 0;
    case WM_TIMER:
        if (wParam == PollTimer)
            self->pollConversation();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void LinkBridge::onListenEvent(WORD event, WORD error)
{
    if (event != FD_ACCEPT)
        return;
    sockaddr_storage address{};
    int length = sizeof address;
    const SOCKET incoming = accept(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    if (incoming == INVALID_SOCKET) {
        m_log.write("accept failed: " + socketError(error ? error : WSAGetLastError()));
        return;
    }
    // The accepted socket inherits the listener's events; its own are chosen below.
    WSAAsyncSelect(incoming, m_window, 0, 0);
    AddressFilter::Address peerAddress{};
    const std::string peer = describePeer(address, &peerAddress);
    if (!m_settings.allowed.allows(peerAddress)) {
        m_log.write("refused " + peer + ": not an allowed address (see --allow)");
        closesocket(incoming);
        return;
    }
    if (m_station)
        takeOver(peer);

    auto station = std::make_unique<Station>(m_settings.maxLineBytes);
    station->socket = incoming;
    station->generation = ++m_generations;
    station->events = m_events.open(incoming);
    station->peer = peer;
    BOOL noDelay = TRUE;
    setsockopt(incoming, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::string keepAliveError;
    if (!enableKeepAlive(incoming, KeepAliveIdleMs, KeepAliveIntervalMs, &keepAliveError))
        m_log.write("no keep-alive for " + peer + ": " + keepAliveError);
    // Every station starts with the bridge's own limit until it sends its own.
    m_dde.setTimeoutMs(m_settings.ddeTimeoutMs);
    m_station = std::move(station);
    // Data that arrived already is announced by a first FD_READ.
    WSAAsyncSelect(incoming, m_window, m_station->events.message, FD_READ | FD_WRITE | FD_CLOSE);
    m_log.write("station connected from " + peer);
}

void LinkBridge::takeOver(const std::string& peer)
{
    // One try to tell it, no waiting: a station that vanished must not hold up the one that came.
    if (!m_station->closing) {
        m_log.write("-> " + printable(TakeOverText));
        m_station->output += TakeOverText;
    }
    Station& old = *m_station;
    while (!old.output.empty()) {
        const int sent = send(old.socket, old.output.data(), int(old.output.size()), 0);
        if (sent <= 0)
            break;
        old.output.erase(0, size_t(sent));
    }
    dropStation("another station (" + peer + ") took over");
}

void LinkBridge::onStationEvent(WORD event, WORD error)
{
    switch (event) {
    case FD_READ:
        m_station->readPending = true;
        serveLines();
        break;
    case FD_WRITE:
        flushOutput();
        break;
    case FD_CLOSE: {
        m_station->readPending = true;
        m_station->closePending = true;
        if (m_busy)
            return; // served once the current line is answered
        const std::string reason =
            error ? "station connection lost: " + socketError(error) : std::string("station closed the link");
        const unsigned generation = m_station->generation;
        // What it sent before closing is still served, then the link is closed.
        m_station->closePending = false;
        serveLines();
        if (m_station && m_station->generation == generation)
            closeStation(reason);
        break;
    }
    default:
        break;
    }
}

void LinkBridge::receive()
{
    char bytes[16384];
    const int received = recv(m_station->socket, bytes, sizeof bytes, 0);
    if (received > 0)
        m_station->lines.feed(bytes, size_t(received));
}

void LinkBridge::serveLines()
{
    // Reached from an event dispatched while a line waits for DDE: the loop below picks it up.
    if (m_busy)
        return;
    while (m_station) {
        if (m_station->closePending) {
            m_station->closePending = false;
            closeStation("station closed the link");
            return;
        }
        if (m_station->readPending) {
            m_station->readPending = false;
            receive();
        }
        if (m_station->closing || !m_station->lines.hasLine())
            return;
        const LineBuffer::Line line = m_station->lines.takeLine();
        m_servedGeneration = m_station->generation;
        m_busy = true;
        if (line.oversized) {
            m_log.write("<- (line longer than " + std::to_string(m_settings.maxLineBytes) + " bytes)");
            answer("ERROR Line too long\n");
        } else {
            handleLine(line.text);
        }
        m_busy = false;
    }
}

bool LinkBridge::servedStationGone() const
{
    return !m_station || m_station->generation != m_servedGeneration;
}

void LinkBridge::handleLine(const std::string& line)
{
    m_log.write("<- " + printable(line));
    const LinkRequest request = LinkRequest::parse(line);
    std::string error;
    switch (request.verb) {
    case LinkRequest::Verb::Connect: {
        std::string service, topic;
        if (!request.serviceAndTopic(&service, &topic))
            answer("ERROR CONNECT needs service|topic\n");
        else if (m_dde.connect(service, topic, &error))
            answer("OK\n");
        else
            answer("ERROR " + error + "\n");
        return;
    }
    case LinkRequest::Verb::Timeout: {
        unsigned long ms = 0;
        if (!request.timeoutMs(&ms)) {
            answer("ERROR TIMEOUT needs milliseconds from 1 to " + std::to_string(LinkRequest::MaxTimeoutMs) +
                   "\n");
            return;
        }
        m_dde.setTimeoutMs(DWORD(ms));
        answer("OK\n");
        return;
    }
    case LinkRequest::Verb::Unknown:
        answer("ERROR Unknown request\n");
        return;
    default:
        break;
    }
    if (!m_dde.isOpen()) {
        answer("ERROR No conversation\n");
        return;
    }
    if (request.argument.empty()) {
        answer("ERROR " + request.name + " needs an item\n");
        return;
    }
    bool done = false;
    std::string value;
    if (request.verb == LinkRequest::Verb::Advise)
        done = m_dde.advise(request.argument, &error);
    else if (request.verb == LinkRequest::Verb::Request)
        done = m_dde.request(request.argument, &value, &error);
    else
        done = m_dde.execute(request.argument, &error);

    if (done) {
        answer(request.verb == LinkRequest::Verb::Request
                   ? "OK " + std::to_string(value.size()) + "\n" + value
                   : std::string("OK\n"));
        // An announcement the software posted right behind its acknowledgement follows the answer at
        // once, not at the scheduler's whim: a station waiting a fixed time for it must not miss it.
        if (request.verb == LinkRequest::Verb::Advise && !servedStationGone())
            m_dde.deliverQueued();
        return;
    }
    answer("ERROR " + error + "\n");
    // Taken over while the call waited: the conversation went with that station.
    if (servedStationGone())
        return;
    if (m_dde.lastFailureTimedOut())
        m_log.write("time-out: the conversation is opened afresh before the next call");
    else if (!m_dde.isOpen() || !m_dde.stillConnected())
        endConversation("the spectrometer software ended the conversation");
}

void LinkBridge::answer(const std::string& bytes)
{
    if (servedStationGone() || m_station->closing) {
        m_log.write("(not sent, that station is gone) " + printable(bytes));
        return;
    }
    m_log.write("-> " + printable(bytes));
    m_station->output += bytes;
    flushOutput();
}

void LinkBridge::notify(const std::string& item)
{
    if (!m_station || m_station->closing)
        return;
    const std::string line = "NOTIFY " + item + "\n";
    m_log.write("-> " + printable(line));
    m_station->output += line;
    flushOutput();
}

void LinkBridge::flushOutput()
{
    if (!m_station)
        return;
    Station& station = *m_station;
    while (!station.output.empty()) {
        const int sent = send(station.socket, station.output.data(), int(station.output.size()), 0);
        if (sent == SOCKET_ERROR) {
            const int code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK)
                return; // FD_WRITE resumes
            dropStation("station connection lost: " + socketError(code));
            return;
        }
        station.output.erase(0, size_t(sent));
    }
    if (station.closing) {
        closeSocket(station.socket);
        m_station.reset();
    }
}

void LinkBridge::endConversation(const std::string& reason)
{
    m_dde.disconnect();
    closeStation(reason);
}

void LinkBridge::closeStation(const std::string& reason)
{
    if (!m_station || m_station->closing)
        return;
    // What was answered still reaches the station before it sees the close; nothing new is added.
    m_station->closing = true;
    m_log.write("closing station link " + m_station->peer + ": " + reason);
    m_station->lines.clear();
    m_dde.disconnect();
    flushOutput();
}

void LinkBridge::dropStation(const std::string& reason)
{
    const std::unique_ptr<Station> station = std::move(m_station);
    if (!station->closing)
        m_log.write("closing station link " + station->peer + ": " + reason);
    closeSocket(station->socket);
    // Its conversation ends with it; the next station opens its own.
    m_dde.disconnect();
}

void LinkBridge::pollConversation()
{
    if (m_busy || !m_station || m_station->closing || !m_dde.isOpen())
        return;
    if (!m_dde.stillConnected())
        endConversation("the spectrometer software ended the conversation");
}
