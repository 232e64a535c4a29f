#pragma once

#include <string>
#include <utility>
#include <vector>

// One HTTP request as a simulated peer received it, byte for byte.
struct SimRecordedRequest
{
    int connection = 0; // requests of one TCP connection share the number
    std::string method;
    std::string target; // path and query as sent
    std::string path;
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers; // in the order sent
    std::string body;

    // Value of the first header of that name (any case); empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};
