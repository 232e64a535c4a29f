#pragma once

#include "bridge/AddressFilter.h"

#include <winsock2.h>

#include <ws2tcpip.h>

#include <string>

// Winsock helpers of the bridge.
std::string socketError(int code);
// Sends what is left and closes; the peer sees the close after the bytes already sent.
void closeSocket(SOCKET socket);
// "192.168.1.20:51372" or "[fd00::20]:51372" (an IPv4 station on a dual-stack socket as IPv4), and the
// address in the form AddressFilter matches.
std::string describePeer(const sockaddr_storage& address, AddressFilter::Address* peer);
// TCP keep-alive probes after idleMs without traffic, then every intervalMs: a station that vanished
// without closing (power, cable) is noticed and its connection ended by the system.
bool enableKeepAlive(SOCKET socket, unsigned long idleMs, unsigned long intervalMs, std::string* error);
