#pragma once

#include <cstdio>
#include <string>

// A text log with a local timestamp on every line; when the file passes its size limit it becomes
// <name>.1 (older ones shift to .2 ... .<keep>) and a new file starts. Written line by line so
// that nothing is lost when the program is ended.
class RotatingLog
{
public:
    RotatingLog() = default;
    ~RotatingLog();
    RotatingLog(const RotatingLog&) = delete;
    RotatingLog& operator=(const RotatingLog&) = delete;

    bool open(const std::string& path, long maxBytes, int keep);
    void write(const std::string& text);
    const std::string& path() const { return m_path; }

private:
    void rotate();

    std::string m_path;
    std::FILE* m_file = nullptr;
    long m_maxBytes = 0;
    int m_keep = 0;
    long m_size = 0;
};

// The folder of the running program, with a trailing backslash.
std::string programFolder();
// The text of a DDE or socket payload for a log line: control characters escaped, long ones cut.
std::string printable(const std::string& bytes, size_t limit = 300);
