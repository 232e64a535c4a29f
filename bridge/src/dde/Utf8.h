#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 as the link protocol carries it, decoded strictly: no overlong forms, no surrogates, nothing
// past U+10FFFF. Plain C++ so that the bridge's text handling can be tested and fuzzed on any system;
// only the code-page conversion beside it needs Windows.
struct Utf8Decoded
{
    std::u32string codePoints;
    bool valid = true;
    size_t errorOffset = 0; // the first byte that is not part of a valid sequence
};

Utf8Decoded decodeUtf8(std::string_view bytes);
void appendUtf8(std::string& out, char32_t codePoint);
std::string encodeUtf8(std::u32string_view codePoints);
bool isAscii(std::string_view bytes);
// UTF-16 units of the text: what Windows counts in a DDE item name.
size_t utf16Length(std::u32string_view codePoints);

// "U+4E2D (中)"; a character that does not print (a control, a separator, a noncharacter) is named by
// its number alone, "U+0085", so that the text stays one readable line.
std::string describeCharacter(char32_t codePoint);
// The refusal of a text that is not UTF-8, naming the byte and its position (from 1).
std::string notUtf8Text(std::string_view bytes, size_t errorOffset);
