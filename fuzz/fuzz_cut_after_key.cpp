// sources: server/ReplyText.cpp
// options: -max_len=1024

#include "FuzzCheck.h"
#include "server/ReplyText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>

namespace {

void check(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fuzzFail("fuzz_cut_after_key", what, detail);
}

struct Cut
{
    const char* key;
    int skip;
    int drop;
    const char* closing; // what the server puts after the value's closing quote
};

// The cuts the station makes of the server's replies.
constexpr std::array<Cut, 4> cuts{
    {{"Token", 8, 2, "}"}, {"Table", 8, 2, "}"}, {"id", 5, 3, "}\n"}, {"id", 5, 2, "}"}}};

} // namespace

// Any reply, key, skip and drop: the value is the reply's text from the computed start up to drop
// characters before its end, or the cut fails exactly when fewer than drop characters remain. A
// value written in the server's reply layout reads back unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool utf8 = in.ConsumeBool();
    const int skip = in.ConsumeIntegralInRange<int>(0, 16);
    const int drop = in.ConsumeIntegralInRange<int>(0, 16);
    const std::string keyBytes = in.ConsumeRandomLengthString(12);
    const std::string replyBytes = in.ConsumeRemainingBytesAsString();
    const QString key = fuzzText(keyBytes.data(), qsizetype(keyBytes.size()), utf8);
    const QString reply = fuzzText(replyBytes.data(), qsizetype(replyBytes.size()), utf8);

    const qsizetype n = reply.size();
    const qsizetype found = reply.indexOf(key);
    // 0-based start of the tail: just past the key's first character plus skip - 1, or skip - 1.
    const qsizetype start = std::max<qsizetype>((found < 0 ? 0 : found + 1) + skip - 1, 0);
    const qsizetype tailSize = std::max<qsizetype>(n - start, 0);

    const std::optional<QString> value = ReplyText::cutAfterKey(reply, key, skip, drop);
    check(value.has_value() == (tailSize >= drop), "cut failed or succeeded against the tail's size", reply);
    if (value) {
        check(value->size() == tailSize - drop, "value is not the tail less drop characters", *value);
        // An empty value may come from a start past the end; any other lies inside the reply.
        if (!value->isEmpty()) {
            check(start + value->size() <= n, "value reaches past the reply's end");
            check(QStringView(reply).mid(start, value->size()) == *value,
                  "value is not the reply's text at the start", *value);
        }
    }

    // The reply layout of each operation: the value comes back as the server wrote it.
    const QString written = QString::fromUtf8(replyBytes.data(), qsizetype(replyBytes.size()));
    for (const Cut& cut : cuts) {
        const QString k = QString::fromLatin1(cut.key);
        const QString layout = QStringLiteral("{\"") + k + QStringLiteral("\":\"") + written +
                               QStringLiteral("\"") + QString::fromLatin1(cut.closing);
        const std::optional<QString> back = ReplyText::cutAfterKey(layout, k, cut.skip, cut.drop);
        check(back && *back == written, "a value in the reply layout does not read back", layout);
    }
    return 0;
}
