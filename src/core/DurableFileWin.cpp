#include "core/DurableFile.h"

#include <QDir>

#include <string>

#include <io.h>
#include <windows.h>

namespace DurableFile {

namespace {

std::wstring nativeName(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

bool flushToDisk(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    return handle != INVALID_HANDLE_VALUE && ::FlushFileBuffers(handle) != 0;
}

bool takeOverAccess(int, const QString&)
{
    // ReplaceFileW carries the target's ACL and attributes over to the replacement.
    return true;
}

bool hasOtherNames(const QString& target)
{
    const HANDLE file = ::CreateFileW(nativeName(target).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool linked = ::GetFileInformationByHandle(file, &info) != 0 && info.nNumberOfLinks > 1;
    ::CloseHandle(file);
    return linked;
}

bool replace(const QString& replacement, const QString& target)
{
    const std::wstring from = nativeName(replacement);
    const std::wstring to = nativeName(target);
    // Keeps the target's ACL, attributes and creation time. It has no write-through of its own: a flush
    // of the file that now holds the name stands in for one.
    if (::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                       nullptr)) {
        const HANDLE file =
            ::CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::FlushFileBuffers(file);
            ::CloseHandle(file);
        }
        return true;
    }
    // Whatever ReplaceFileW left (both names as they were, or the target gone and the replacement
    // under its own name), one move puts the new content at the target's name.
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace DurableFile
