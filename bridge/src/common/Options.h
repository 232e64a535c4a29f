#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// Command-line options of the form --name value, --name=value or a bare --flag. An option may be
// given more than once: value() is the last, values() every one in order.
class Options
{
public:
    // flags: options that take no value. Any option not in flags or valued is unknown.
    Options(std::set<std::string> flags, std::set<std::string> valued);

    bool parse(const std::vector<std::string>& arguments);
    const std::string& error() const { return m_error; }

    bool has(const std::string& name) const { return m_values.count(name) > 0; }
    std::string value(const std::string& name, const std::string& fallback = std::string()) const;
    std::vector<std::string> values(const std::string& name) const;
    // False (and error()) when the option holds no whole number in [min, max].
    bool number(const std::string& name, long fallback, long min, long max, long* result);

private:
    std::set<std::string> m_flags;
    std::set<std::string> m_valued;
    std::map<std::string, std::vector<std::string>> m_values;
    std::string m_error;
};

// The arguments of this process as UTF-8 text, without the program name.
std::vector<std::string> commandLineArguments();
// "host:port" or "[ipv6]:port" into its parts (without the brackets); false when the port is not
// 1..65535 or a part is empty.
bool splitHostPort(const std::string& address, std::string* host, unsigned short* port);
