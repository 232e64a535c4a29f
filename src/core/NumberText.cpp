#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
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

// Whether a number text that does not fit a double is too large (rather than too small): the decimal
// exponent of its first significant digit is positive.
bool overflows(const char* first, const char* last)
{
    long long intDigits = 0;
    long long leadingFractionZeros = 0;
    bool significant = false;
    const char* p = first;
    for (; p != last && std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        significant = significant || *p != '0';
        if (significant)
            ++intDigits;
    }
    if (p != last && *p == '.') {
        for (++p; p != last && std::isdigit(static_cast<unsigned char>(*p)); ++p) {
            if (significant)
                continue;
            if (*p != '0')
                significant = true;
            else
                ++leadingFractionZeros;
        }
    }
    if (!significant)
        return false;
    long long exponent = 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p != last && *p == '-';
        if (p != last && (*p == '+' || *p == '-'))
            ++p;
        for (; p != last && std::isdigit(static_cast<unsigned char>(*p)); ++p)
            exponent = std::min<long long>(exponent * 10 + (*p - '0'), 1'000'000'000LL);
        if (negative)
            exponent = -exponent;
    }
    const long long magnitude =
        intDigits > 0 ? intDigits - 1 + exponent : exponent - leadingFractionZeros - 1;
    return magnitude > 0;
}

// Converts a text already checked by scanNumber. from_chars never looks at the C locale, which
// QApplication sets from the environment (strtod would stop at the '.' under a decimal-comma locale).
double toDouble(const std::string& s)
{
    const char* first = s.data();
    const char* last = first + s.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    double value = 0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = overflows(first, last) ? HUGE_VAL : 0.0;
    else if (result.ec != std::errc())
        value = 0;
    return negative ? -value : value;
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
        if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '+' || ch == '-' || ch == '.' ||
              ch == 'e' || ch == 'E'))
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
