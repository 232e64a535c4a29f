// sources: core/NumberText.cpp
// options: -max_len=4096

#include "core/NumberText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_number: %s\n", what);
    std::abort();
}

// A finite number formats to a text that reads back to exactly that number, both ways of reading.
void checkFormatRoundTrip(double value)
{
    if (!std::isfinite(value))
        return;
    const QString text = NumberText::format(value);
    const auto whole = NumberText::parseWhole(text);
    if (!whole || *whole != value)
        fail("format(x) does not read back whole");
    if (NumberText::parseLeading(text) != value)
        fail("format(x) does not read back leading");
    if (std::fabs(NumberText::roundHalfEven(value) - value) > 0.5)
        fail("rounding moved more than a half");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const auto whole = NumberText::parseWhole(text);
    const double leading = NumberText::parseLeading(text);
    if (std::isnan(leading))
        fail("parseLeading gave NaN");
    if (whole) {
        if (!std::isfinite(*whole))
            fail("parseWhole gave a non-finite number");
        // A text that is a number as a whole reads the same when read up to where it stops.
        if (leading != *whole)
            fail("parseLeading disagrees with parseWhole");
        checkFormatRoundTrip(*whole);
    }
    checkFormatRoundTrip(leading);
    return 0;
}
