#include "dde/Utf8.h"

#include <cstdio>

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

bool prints(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return false;
    if (c == 0x2028 || c == 0x2029 || c == 0xFEFF || c == 0xAD)
        return false;
    if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
        return false;
    return !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
}

} // namespace

Utf8Decoded decodeUtf8(std::string_view bytes)
{
    Utf8Decoded result;
    result.codePoints.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            result.codePoints.push_back(lead);
            ++i;
            continue;
        }
        size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        } else {
            result.valid = false;
            result.errorOffset = i;
            return result;
        }
        size_t taken = 1;
        for (; taken < length; ++taken) {
            if (i + taken >= bytes.size() || !isContinuation(static_cast<unsigned char>(bytes[i + taken])))
                break;
            value = (value << 6) | (static_cast<unsigned char>(bytes[i + taken]) & 0x3F);
        }
        if (taken < length || value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            result.valid = false;
            result.errorOffset = i;
            return result;
        }
        result.codePoints.push_back(value);
        i += length;
    }
    return result;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string encodeUtf8(std::u32string_view codePoints)
{
    std::string out;
    out.reserve(codePoints.size());
    for (char32_t c : codePoints)
        appendUtf8(out, c);
    return out;
}

bool isAscii(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

size_t utf16Length(std::u32string_view codePoints)
{
    size_t units = 0;
    for (char32_t c : codePoints)
        units += c >= 0x10000 ? 2 : 1;
    return units;
}

std::string describeCharacter(char32_t codePoint)
{
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", unsigned(codePoint));
    std::string text(number);
    if (prints(codePoint)) {
        text += " (";
        appendUtf8(text, codePoint);
        text += ')';
    }
    return text;
}

std::string notUtf8Text(std::string_view bytes, size_t errorOffset)
{
    char hex[8] = "end";
    if (errorOffset < bytes.size())
        std::snprintf(hex, sizeof hex, "0x%02X", unsigned(static_cast<unsigned char>(bytes[errorOffset])));
    return "Not UTF-8 at byte " + std::to_string(errorOffset + 1) + " (" + hex + "); not sent";
}
