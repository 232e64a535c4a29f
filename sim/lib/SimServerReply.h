#pragma once

// Reply helper shared by the simulated server's own checks (faults, authorisation) and its routes.

#include <httplib.h>

#include <string>

namespace SimServerReply {

inline constexpr const char* jsonType = "application/json";

inline void answer(httplib::Response& res, int status, const std::string& body, const char* type = jsonType)
{
    res.status = status;
    res.set_content(body, type);
}

} // namespace SimServerReply
