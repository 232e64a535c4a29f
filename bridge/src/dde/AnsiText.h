#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Text between UTF-8 and an ANSI code page (the workstation's, CP_ACP, unless told), the encoding of
// DDE's text format and of item names for an ANSI server. Nothing is changed on the way: a character
// the code page cannot hold, or one it would only approximate, refuses the whole text.
bool utf8ToAnsi(std::string_view utf8, std::string* ansi, std::string* error, UINT codePage = CP_ACP);
// Bytes the code page does not define become what Windows maps them to; the result is valid UTF-8.
std::string ansiToUtf8(std::string_view ansi, UINT codePage = CP_ACP);
