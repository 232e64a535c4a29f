#include "dde/AnsiText.h"

#include "dde/Utf8.h"

namespace {

std::wstring toWide(std::u32string_view codePoints)
{
    std::wstring wide;
    wide.reserve(codePoints.size());
    for (char32_t c : codePoints) {
        if (c >= 0x10000) {
            wide += wchar_t(0xD800 + ((c - 0x10000) >> 10));
            wide += wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += wchar_t(c);
        }
    }
    return wide;
}

// The code page's bytes for the text, or false when a character had to be replaced or only
// approximated: the replacement flag catches the first, the way back the second (best-fit mappings
// such as a for ā, should the flag against them not be honoured).
bool convertExactly(const std::wstring& wide, UINT codePage, std::string* ansi)
{
    if (wide.empty()) {
        ansi->clear();
        return true;
    }
    BOOL replaced = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                         nullptr, 0, nullptr, &replaced);
    if (size <= 0 || replaced)
        return false;
    ansi->assign(size_t(size), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), ansi->data(), size,
                        nullptr, &replaced);
    if (replaced)
        return false;
    const int back = MultiByteToWideChar(codePage, 0, ansi->data(), size, nullptr, 0);
    std::wstring again(size_t(back > 0 ? back : 0), L'\0');
    if (back > 0)
        MultiByteToWideChar(codePage, 0, ansi->data(), size, again.data(), back);
    return again == wide;
}

} // namespace

bool utf8ToAnsi(std::string_view utf8, std::string* ansi, std::string* error, UINT codePage)
{
    const Utf8Decoded decoded = decodeUtf8(utf8);
    if (!decoded.valid) {
        *error = notUtf8Text(utf8, decoded.errorOffset);
        return false;
    }
    const UINT page = codePage == CP_ACP ? GetACP() : codePage;
    // ASCII is the same in every ANSI code page; a workstation set to UTF-8 takes the text as it is.
    if (isAscii(utf8) || page == CP_UTF8) {
        ansi->assign(utf8);
        return true;
    }
    if (convertExactly(toWide(decoded.codePoints), page, ansi))
        return true;
    std::string ignored;
    for (char32_t c : decoded.codePoints) {
        if (!convertExactly(toWide(std::u32string_view(&c, 1)), page, &ignored)) {
            *error = "Character " + describeCharacter(c) + " is not in the workstation's code page " +
                     std::to_string(page) + "; not sent";
            return false;
        }
    }
    // Each character alone fits, together they do not (a stateful code page): refuse all the same.
    *error = "Text does not fit the workstation's code page " + std::to_string(page) + "; not sent";
    return false;
}

std::string ansiToUtf8(std::string_view ansi, UINT codePage)
{
    if (isAscii(ansi) || ansi.empty())
        return std::string(ansi);
    const int length = MultiByteToWideChar(codePage, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    if (length <= 0)
        return std::string(ansi.size(), '?');
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, ansi.data(), int(ansi.size()), wide.data(), length);
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}
