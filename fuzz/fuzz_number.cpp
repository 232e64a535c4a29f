// sources: core/NumberText.cpp
// The motion count reading is covered here too: a count box is read and written back with the same
// two functions.
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

// The count a motion command carries: the box read as a number, written back in its shortest form;
// a box whose number overflows gives no count.
QString countText(const QString& box)
{
    const double value = NumberText::parseLeading(box);
    return std::isfinite(value) ? NumberText::format(value) : QString();
}

// A count is one token of number characters that reads back to the box's number; whole counts are
// plain integers.
void checkCount(const QString& box)
{
    const QString count = countText(box);
    const double value = NumberText::parseLeading(box);
    if (count.isEmpty()) {
        if (std::isfinite(value))
            fail("a finite box value gave no count");
        return;
    }
    for (const QChar c : count) {
        if (!(c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'E') || c.unicode() > 127)
            fail("a count holds a character that is not part of a number");
    }
    if (NumberText::parseWhole(count) != value)
        fail("a count does not read back to the box's number");
    if (value == std::trunc(value) && std::fabs(value) < 1e15 &&
        count != QString::number(static_cast<long long>(value)))
        fail("a whole count is not written as a plain integer");
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
    checkCount(text);
    return 0;
}
