#pragma once

// Shared by the fuzz targets: a failed property aborts, which libFuzzer records as a finding.

#include <QString>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzFail(const char* target, const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "%s: %s\n", target, what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.left(400).toUtf8().constData());
    std::abort();
}

// Text from fuzz bytes: a flag picks UTF-8 (surrogate pairs, malformed sequences) or one byte per
// character, so both the ASCII-heavy and the wide-character paths are reached.
inline QString fuzzText(const char* data, qsizetype size, bool utf8)
{
    return utf8 ? QString::fromUtf8(data, size) : QString::fromLatin1(data, size);
}
