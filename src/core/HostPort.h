#pragma once

#include <QString>

#include <optional>

// A TCP peer written as host:port: a name or IPv4 address ("opus-pc.lan:4411", "10.0.0.7:4411"), or
// an IPv6 address in brackets ("[::1]:4411"). The host comes back without the brackets, ready for a
// socket's connectToHost.
struct HostPort
{
    QString host;
    quint16 port = 0;
};

// Nothing when text is not one of those forms: no port or one outside 1..65535, an empty host, a blank
// or "/" in it, or an IPv6 address without brackets (its last colon would be taken for the port's).
std::optional<HostPort> parseHostPort(const QString& text);
