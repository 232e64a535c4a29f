#include "common/RotatingLog.h"

#include <windows.h>

RotatingLog::~RotatingLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool RotatingLog::open(const std::string& path, long maxBytes, int keep)
{
    m_path = path;
    m_maxBytes = maxBytes;
    m_keep = keep;
    m_file = std::fopen(path.c_str(), "ab");
    if (!m_file)
        return false;
    std::fseek(m_file, 0, SEEK_END);
    m_size = std::ftell(m_file);
    return true;
}

void RotatingLog::write(const std::string& text)
{
    if (!m_file)
        return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    const std::string line = stamp + text + "\r\n";
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fflush(m_file);
    m_size += long(line.size());
    if (m_maxBytes > 0 && m_size >= m_maxBytes)
        rotate();
}

void RotatingLog::rotate()
{
    std::fclose(m_file);
    m_file = nullptr;
    const std::string oldest = m_path + "." + std::to_string(m_keep);
    DeleteFileA(oldest.c_str());
    for (int i = m_keep - 1; i >= 1; --i)
        MoveFileExA((m_path + "." + std::to_string(i)).c_str(),
                    (m_path + "." + std::to_string(i + 1)).c_str(), MOVEFILE_REPLACE_EXISTING);
    if (m_keep > 0)
        MoveFileExA(m_path.c_str(), (m_path + ".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    else
        DeleteFileA(m_path.c_str());
    m_file = std::fopen(m_path.c_str(), "ab");
    m_size = 0;
}

std::string programFolder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string printable(const std::string& bytes, size_t limit)
{
    std::string shown;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            shown += hex;
        } else
            shown += char(c);
    }
    if (bytes.size() > limit)
        shown += "... (" + std::to_string(bytes.size()) + " bytes)";
    return shown;
}
