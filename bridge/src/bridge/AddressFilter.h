#pragma once

#include <array>
#include <string>
#include <vector>

// The station addresses the bridge serves, as ADDRESS or ADDRESS/BITS ranges, IPv4 or IPv6. Addresses
// are kept in IPv6 form with IPv4 as ::ffff:a.b.c.d, so an IPv4 station reaching a dual-stack socket
// matches its IPv4 range. Plain C++, no sockets.
class AddressFilter
{
public:
    using Address = std::array<unsigned char, 16>;

    // 127.0.0.0/8 and ::1: a station on this computer only.
    static AddressFilter loopback();
    static Address fromIPv4(unsigned char a, unsigned char b, unsigned char c, unsigned char d);
    // Dotted IPv4 or IPv6 text (brackets allowed), without a prefix length.
    static bool parseAddress(const std::string& text, Address* address, bool* isIPv4);

    // False (and nothing added) when the text is not ADDRESS[/BITS] with BITS up to 32 or 128.
    bool add(const std::string& text);
    bool allows(const Address& peer) const;
    bool empty() const { return m_ranges.empty(); }

private:
    struct Range
    {
        Address prefix{};
        int bits = 0;
    };
    std::vector<Range> m_ranges;
};
