// sources: core/StationConfigFile.cpp core/DurableFilePosix.cpp core/NumberText.cpp core/StoredValue.cpp
// options: -max_len=16384

#include "core/StationConfigFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_config: %s\n", what);
    std::abort();
}

} // namespace

// Any bytes parse into 26 values; what is written from them parses back to the same values and
// rewrites byte for byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const StationConfigFile::Encoding encoding = StationConfigFile::detectEncoding(content);
    const StationConfigFile::Values values = StationConfigFile::parse(content, encoding);
    if (!(values == StationConfigFile::parse(content)))
        fail("parse without an encoding reads differently");
    static_assert(std::tuple_size_v<StationConfigFile::Values> == 26);

    for (const StoredValue& value : values) {
        if (value.isNumber() && !std::isfinite(value.toNumber()))
            fail("a number read from the file is not finite");
    }

    const QByteArray written = StationConfigFile::serialize(values, encoding);
    if (!written.endsWith("\r\n") || written.count("\r\n") < 26)
        fail("written file has fewer than 26 lines");
    const StationConfigFile::Values back = StationConfigFile::parse(written, encoding);
    if (!(back == values))
        fail("written values do not read back the same");
    if (StationConfigFile::serialize(back, encoding) != written)
        fail("rewrite is not byte for byte");
    return 0;
}
