#include "Shell.h"

#include <windows.h>

#include <shellapi.h>

QStringList programCommandWords(int, char**)
{
    // The wide command line: argv holds the ANSI code page's reading of it, which loses characters.
    QStringList words;
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            words << QString::fromWCharArray(wide[i]);
        ::LocalFree(wide);
    }
    return words;
}

void openWithShell(const QString& url)
{
    ::ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t*>(url.utf16()), nullptr, nullptr,
                    SW_SHOWNORMAL);
}
