#include "SimRecordedRequest.h"

#include <strings.h>

std::string SimRecordedRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

bool SimRecordedRequest::hasHeader(const std::string& name) const
{
    for (const auto& entry : headers)
        if (strcasecmp(entry.first.c_str(), name.c_str()) == 0)
            return true;
    return false;
}
