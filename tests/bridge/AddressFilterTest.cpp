#include "bridge/AddressFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

AddressFilter::Address address(const std::string& text)
{
    AddressFilter::Address parsed{};
    bool ipv4 = false;
    EXPECT_TRUE(AddressFilter::parseAddress(text, &parsed, &ipv4)) << text;
    return parsed;
}

TEST(AddressFilterTest, RangesMatchTheirAddressesOnly)
{
    struct Case
    {
        std::vector<std::string> allow; // empty: the default
        std::string peer;
        bool allowed;
    };
    const std::vector<Case> cases{
        {{}, "127.0.0.1", true},
        {{}, "127.255.0.9", true},
        {{}, "::1", true},
        {{}, "::ffff:127.0.0.1", true}, // an IPv4 station on a dual-stack socket
        {{}, "192.168.1.20", false},
        {{}, "::2", false},
        {{"192.168.1.20"}, "192.168.1.20", true},
        {{"192.168.1.20"}, "192.168.1.21", false},
        {{"192.168.1.20"}, "127.0.0.1", false}, // naming stations replaces the default
        {{"192.168.1.20/24"}, "192.168.1.200", true},
        {{"192.168.1.0/24"}, "192.168.2.1", false},
        {{"10.0.0.0/7"}, "11.255.255.255", true},
        {{"10.0.0.0/7"}, "12.0.0.0", false},
        {{"0.0.0.0/0"}, "203.0.113.5", true},
        {{"0.0.0.0/0"}, "2001:db8::1", false}, // every IPv4 address, no IPv6 one
        {{"::/0"}, "2001:db8::1", true},
        {{"fd00::/8"}, "fdab:1234::20", true},
        {{"fd00::/8"}, "fe80::1", false},
        {{"[2001:db8::]/32"}, "2001:db8:ffff::1", true},
        {{"2001:db8:0:0:1:0:0:1/128"}, "2001:db8::1:0:0:1", true},
        {{"::ffff:10.0.0.0/104"}, "10.1.2.3", true},
        {{"10.1.2.3", "fd00::1"}, "fd00::1", true},
    };
    for (const Case& c : cases) {
        AddressFilter filter = AddressFilter::loopback();
        if (!c.allow.empty()) {
            filter = AddressFilter();
            for (const std::string& range : c.allow)
                ASSERT_TRUE(filter.add(range)) << range;
        }
        const std::string label =
            (c.allow.empty() ? std::string("default") : c.allow.front()) + " / " + c.peer;
        EXPECT_EQ(filter.allows(address(c.peer)), c.allowed) << label;
    }
}

TEST(AddressFilterTest, MalformedRangesAreRefused)
{
    for (const char* text : {"",
                             "/8",
                             "10.0.0",
                             "10.0.0.0.1",
                             "10.0.0.256",
                             "10.0.0.0/33",
                             "10.0.0.0/",
                             "10.0.0.0/-1",
                             "10.0.0.0/8x",
                             "1.2.3.4 ",
                             "1.2.3.a",
                             "::/129",
                             ":::",
                             "1::2::3",
                             "1:2:3:4:5:6:7:8:9",
                             "1:2:3:4:5:6:7",
                             "12345::",
                             "::g",
                             "1.2.3.4::",
                             "[::1",
                             "fe80::1%eth0",
                             "localhost"}) {
        AddressFilter filter;
        EXPECT_FALSE(filter.add(text)) << text;
        EXPECT_TRUE(filter.empty()) << text;
    }
}

} // namespace
