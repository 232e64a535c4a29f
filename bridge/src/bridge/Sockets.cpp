#include "bridge/Sockets.h"

#include <mstcpip.h>

#include <algorithm>

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

std::string describePeer(const sockaddr_storage& address, AddressFilter::Address* peer)
{
    char host[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::copy(v6.sin6_addr.s6_addr, v6.sin6_addr.s6_addr + 16, peer->begin());
        const std::string port = std::to_string(ntohs(v6.sin6_port));
        const auto& b = *peer;
        if (std::all_of(b.begin(), b.begin() + 10, [](unsigned char x) { return x == 0; }) && b[10] == 0xFF &&
            b[11] == 0xFF) {
            inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], host, sizeof host);
            return std::string(host) + ":" + port;
        }
        inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
        std::string text(1, '[');
        text.append(host).append("]:").append(port);
        return text;
    }
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    const auto* b = reinterpret_cast<const unsigned char*>(&v4.sin_addr);
    *peer = AddressFilter::fromIPv4(b[0], b[1], b[2], b[3]);
    inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(v4.sin_port));
}

bool enableKeepAlive(SOCKET socket, unsigned long idleMs, unsigned long intervalMs, std::string* error)
{
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = idleMs;
    values.keepaliveinterval = intervalMs;
    DWORD returned = 0;
    if (WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
                 nullptr) == 0)
        return true;
    *error = socketError(WSAGetLastError());
    return false;
}
