#include "bridge/LinkRequest.h"

LinkRequest LinkRequest::parse(const std::string& line)
{
    LinkRequest request;
    const size_t blank = line.find(' ');
    request.name = line.substr(0, blank);
    if (blank != std::string::npos)
        request.argument = line.substr(blank + 1);
    if (request.name == "CONNECT")
        request.verb = Verb::Connect;
    else if (request.name == "TIMEOUT")
        request.verb = Verb::Timeout;
    else if (request.name == "ADVISE")
        request.verb = Verb::Advise;
    else if (request.name == "REQUEST")
        request.verb = Verb::Request;
    else if (request.name == "EXECUTE")
        request.verb = Verb::Execute;
    return request;
}

bool LinkRequest::serviceAndTopic(std::string* service, std::string* topic) const
{
    const size_t bar = argument.find('|');
    if (bar == std::string::npos || bar == 0 || bar + 1 >= argument.size())
        return false;
    *service = argument.substr(0, bar);
    *topic = argument.substr(bar + 1);
    return true;
}

bool LinkRequest::timeoutMs(unsigned long* ms) const
{
    if (argument.empty() || argument.size() > 7)
        return false;
    unsigned long value = 0;
    for (char c : argument) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value < 1 || value > MaxTimeoutMs)
        return false;
    *ms = value;
    return true;
}
