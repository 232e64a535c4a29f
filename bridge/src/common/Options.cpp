#include "common/Options.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

Options::Options(std::set<std::string> flags, std::set<std::string> valued)
    : m_flags(std::move(flags))
    , m_valued(std::move(valued))
{
}

bool Options::parse(const std::vector<std::string>& arguments)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        if (name.rfind("--", 0) != 0) {
            m_error = "unexpected argument \"" + name + "\"";
            return false;
        }
        name = name.substr(2);
        const size_t equals = name.find('=');
        if (equals != std::string::npos) {
            const std::string key = name.substr(0, equals);
            if (!m_valued.count(key)) {
                m_error = "unknown option --" + key;
                return false;
            }
            m_values[key].push_back(name.substr(equals + 1));
        } else if (m_flags.count(name)) {
            m_values[name].push_back(std::string());
        } else if (m_valued.count(name)) {
            if (i + 1 >= arguments.size()) {
                m_error = "option --" + name + " needs a value";
                return false;
            }
            m_values[name].push_back(arguments[++i]);
        } else {
            m_error = "unknown option --" + name;
            return false;
        }
    }
    return true;
}

std::string Options::value(const std::string& name, const std::string& fallback) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? fallback : found->second.back();
}

std::vector<std::string> Options::values(const std::string& name) const
{
    const auto found = m_values.find(name);
    return found == m_values.end() ? std::vector<std::string>() : found->second;
}

bool Options::number(const std::string& name, long fallback, long min, long max, long* result)
{
    *result = fallback;
    if (!has(name))
        return true;
    const std::string text = value(name);
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < min || parsed > max) {
        m_error = "option --" + name + " needs a whole number from " + std::to_string(min) + " to " +
                  std::to_string(max) + ", not \"" + text + "\"";
        return false;
    }
    *result = parsed;
    return true;
}

std::vector<std::string> commandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return arguments;
    for (int i = 1; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(size > 0 ? size - 1 : 0, '\0');
        if (size > 1)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
        arguments.push_back(text);
    }
    LocalFree(wide);
    return arguments;
}

bool splitHostPort(const std::string& address, std::string* host, unsigned short* port)
{
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= address.size())
        return false;
    const std::string portText = address.substr(colon + 1);
    char* end = nullptr;
    const long number = std::strtol(portText.c_str(), &end, 10);
    if (*end != '\0' || number < 1 || number > 65535)
        return false;
    std::string name = address.substr(0, colon);
    if (name.front() == '[') {
        if (name.size() < 3 || name.back() != ']')
            return false;
        name = name.substr(1, name.size() - 2);
    } else if (name.find(':') != std::string::npos) {
        return false; // an IPv6 address needs its brackets
    }
    *host = name;
    *port = static_cast<unsigned short>(number);
    return true;
}
