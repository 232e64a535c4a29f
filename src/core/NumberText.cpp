#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <charconv>
#include <cmath>
#include <string>

namespace NumberText {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Parses [sign] digits [. digits] [e|E [sign] digits] from an ASCII string; returns characters used.
size_t scanNumber(const std::string& s, size_t pos)
{
    size_t i = pos;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        size_t expDigits = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            i = j;
    }
    return i - pos;
}

double toDouble(const std::string& s)
{
    // strtod handles over- and underflow by returning HUGE_VAL / 0, which is what we want here.
    return std::strtod(s.c_str(), nullptr);
}

} // namespace

std::optional<double> parseWhole(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    if (begin == end)
        return std::nullopt;
    std::string ascii;
    ascii.reserve(static_cast<size_t>(end - begin));
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text[i].unicode();
        if (c > 127)
            return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    const size_t used = scanNumber(ascii, 0);
    if (used == 0 || used != ascii.size())
        return std::nullopt;
    const double value = toDouble(ascii);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

double parseLeading(QStringView text)
{
    std::string ascii;
    ascii.reserve(static_cast<size_t>(std::min<qsizetype>(text.size(), 4096)));
    for (QChar c : text) {
        if (isBlank(c))
            continue;
        const char16_t u = c.unicode();
        if (u > 127)
            break;
        const char ch = static_cast<char>(u);
        if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '+' || ch == '-' || ch == '.'
              || ch == 'e' || ch == 'E'))
            break;
        ascii.push_back(ch);
    }
    const size_t used = scanNumber(ascii, 0);
    if (used == 0)
        return 0.0;
    ascii.resize(used);
    return toDouble(ascii);
}

QString format(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (value == 0)
        return QStringLiteral("0");
    std::array<char, 64> buf{};
    const bool plain = std::fabs(value) < 1e15 && std::fabs(value) >= 1e-5;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                   plain ? std::chars_format::fixed : std::chars_format::scientific);
    QString out = QString::fromLatin1(buf.data(), static_cast<qsizetype>(res.ptr - buf.data()));
    if (!plain) {
        // 1e+20 -> 1E+20
        out.replace(u'e', u'E');
    }
    return out;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // default rounding mode is to nearest, ties to even
}

} // namespace NumberText
