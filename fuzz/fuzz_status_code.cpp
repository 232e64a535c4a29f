// sources: spectro/ReplyFields.cpp core/NumberText.cpp
// options: -max_len=1024

#include "FuzzCheck.h"
#include "core/NumberText.h"
#include "spectro/ReplyFields.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

namespace {

void check(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fuzzFail("fuzz_status_code", what, detail);
}

// How the health check reads a code out of a reply.
double codeOf(const QString& reply)
{
    return NumberText::parseLeading(ReplyFields::valueOf(reply));
}

} // namespace

// A code depends on characters 3 to 12 only, is never NaN, is 0 for a reply of fewer than three
// characters, and the software's status reply layout carries any code of up to ten characters.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool utf8 = in.ConsumeBool();
    const double chosen =
        in.ConsumeBool() ? double(in.ConsumeIntegral<int32_t>()) : in.ConsumeFloatingPoint<double>();
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const QString reply = fuzzText(bytes.data(), qsizetype(bytes.size()), utf8);

    const double code = codeOf(reply);
    check(!std::isnan(code), "code is NaN", reply);
    if (reply.size() < 3)
        check(code == 0, "a reply shorter than three characters gives a code", reply);
    if (reply.size() > 12) {
        const QString otherEnds = QStringLiteral("##") + reply.mid(2, 10) + QStringLiteral("9 9");
        check(codeOf(otherEnds) == code, "characters outside 3 to 12 change the code", reply);
    }

    // "OK" + the code left-justified to ten characters + CR LF, as the software answers.
    if (std::isfinite(chosen)) {
        const QString text = NumberText::format(chosen);
        if (text.size() <= 10) {
            const QString status =
                QStringLiteral("OK") + text.leftJustified(10, u' ') + QStringLiteral("\r\n");
            check(codeOf(status) == chosen, "a status reply does not read back its code", status);
        }
    }
    return 0;
}
