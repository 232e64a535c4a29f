#pragma once

#include <string>

// One line from the station: the verb, a blank, and the rest of the line as its argument, blanks
// included. Plain C++: the bridge's protocol parsing is tested and fuzzed natively.
struct LinkRequest
{
    enum class Verb { Connect, Timeout, Advise, Request, Execute, Unknown };

    // The longest wait a station may ask for, as --timeout allows.
    static constexpr unsigned long MaxTimeoutMs = 3600000;

    Verb verb = Verb::Unknown;
    std::string name; // the verb as written
    std::string argument;

    static LinkRequest parse(const std::string& line);
    // CONNECT service|topic, both parts non-empty.
    bool serviceAndTopic(std::string* service, std::string* topic) const;
    // TIMEOUT ms: decimal digits only, 1 to MaxTimeoutMs.
    bool timeoutMs(unsigned long* ms) const;
};
