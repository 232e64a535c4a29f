#include "bridge/AddressFilter.h"

namespace {

bool parseDecimal(const std::string& text, unsigned long max, unsigned long* value)
{
    if (text.empty() || text.size() > 3)
        return false;
    unsigned long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + unsigned(c - '0');
    }
    if (result > max)
        return false;
    *value = result;
    return true;
}

bool parseIPv4(const std::string& text, unsigned char* bytes)
{
    size_t from = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? text.find('.', from) : text.size();
        unsigned long value = 0;
        if (dot == std::string::npos || !parseDecimal(text.substr(from, dot - from), 255, &value))
            return false;
        bytes[part] = static_cast<unsigned char>(value);
        from = dot + 1;
    }
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Groups of one side of "::": hex groups, the last of the address possibly a dotted IPv4 (two groups).
bool parseGroups(const std::string& text, bool mayEndInIPv4, std::vector<unsigned>* groups)
{
    if (text.empty())
        return true;
    size_t from = 0;
    while (true) {
        const size_t colon = text.find(':', from);
        const std::string group =
            text.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        if (colon == std::string::npos && mayEndInIPv4 && group.find('.') != std::string::npos) {
            unsigned char v4[4];
            if (!parseIPv4(group, v4))
                return false;
            groups->push_back(unsigned(v4[0]) << 8 | v4[1]);
            groups->push_back(unsigned(v4[2]) << 8 | v4[3]);
            return true;
        }
        if (group.empty() || group.size() > 4)
            return false;
        unsigned value = 0;
        for (char c : group) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return false;
            value = value << 4 | unsigned(digit);
        }
        groups->push_back(value);
        if (colon == std::string::npos)
            return true;
        from = colon + 1;
    }
}

bool parseIPv6(const std::string& text, AddressFilter::Address* address)
{
    const size_t gap = text.find("::");
    std::vector<unsigned> head, tail;
    if (gap == std::string::npos) {
        if (!parseGroups(text, true, &head) || head.size() != 8)
            return false;
    } else {
        if (text.find("::", gap + 1) != std::string::npos)
            return false;
        if (!parseGroups(text.substr(0, gap), false, &head) ||
            !parseGroups(text.substr(gap + 2), true, &tail) || head.size() + tail.size() > 7)
            return false;
    }
    std::vector<unsigned> groups = head;
    groups.resize(8 - tail.size(), 0);
    groups.insert(groups.end(), tail.begin(), tail.end());
    for (size_t i = 0; i < 8; ++i) {
        (*address)[2 * i] = static_cast<unsigned char>(groups[i] >> 8);
        (*address)[2 * i + 1] = static_cast<unsigned char>(groups[i] & 0xFF);
    }
    return true;
}

} // namespace

AddressFilter AddressFilter::loopback()
{
    AddressFilter filter;
    filter.add("127.0.0.0/8");
    filter.add("::1");
    return filter;
}

AddressFilter::Address AddressFilter::fromIPv4(unsigned char a, unsigned char b, unsigned char c,
                                               unsigned char d)
{
    return Address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, a, b, c, d};
}

bool AddressFilter::parseAddress(const std::string& text, Address* address, bool* isIPv4)
{
    std::string bare = text;
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']')
        bare = bare.substr(1, bare.size() - 2);
    unsigned char v4[4];
    if (bare.find(':') == std::string::npos) {
        if (!parseIPv4(bare, v4))
            return false;
        *address = fromIPv4(v4[0], v4[1], v4[2], v4[3]);
        *isIPv4 = true;
        return true;
    }
    *isIPv4 = false;
    return parseIPv6(bare, address);
}

bool AddressFilter::add(const std::string& text)
{
    const size_t slash = text.find('/');
    Range range;
    bool isIPv4 = false;
    if (!parseAddress(text.substr(0, slash), &range.prefix, &isIPv4))
        return false;
    const unsigned long maxBits = isIPv4 ? 32 : 128;
    unsigned long bits = maxBits;
    if (slash != std::string::npos && !parseDecimal(text.substr(slash + 1), maxBits, &bits))
        return false;
    range.bits = int(bits) + (isIPv4 ? 96 : 0);
    // Host bits written in the range (192.168.1.20/24) do not narrow it.
    for (int bit = range.bits; bit < 128; ++bit)
        range.prefix[size_t(bit / 8)] &= static_cast<unsigned char>(~(0x80u >> (bit % 8)));
    m_ranges.push_back(range);
    return true;
}

bool AddressFilter::allows(const Address& peer) const
{
    for (const Range& range : m_ranges) {
        bool inside = true;
        for (int bit = 0; bit < range.bits && inside; ++bit) {
            const unsigned mask = 0x80u >> (bit % 8);
            inside = (peer[size_t(bit / 8)] & mask) == (range.prefix[size_t(bit / 8)] & mask);
        }
        if (inside)
            return true;
    }
    return false;
}
