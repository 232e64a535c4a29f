// sources: spectro/ReplyFields.cpp
// options: -max_len=8192

#include "FuzzCheck.h"
#include "spectro/ReplyFields.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

void check(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fuzzFail("fuzz_reply_fields", what, detail);
}

} // namespace

// Any bytes from the link: the decoded text keeps the bytes, every field is the reply's own text at
// its fixed position, and a measurement reply gives back the measured file's path.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString reply = ReplyFields::decode(bytes);
    if (reply.toUtf8() != bytes)
        check(reply.size() == bytes.size() && reply.toLatin1() == bytes, "decoding lost bytes", reply);

    const qsizetype n = reply.size();
    const ReplyFields fields = ReplyFields::split(reply);
    check(fields.field0.size() == std::max<qsizetype>(n - 4, 0) && reply.endsWith(fields.field0),
          "field 0 is not the reply from character 5", fields.field0);
    if (n <= 7)
        check(fields.field1.isEmpty(), "field 1 of a short reply is not empty", reply);
    else
        check(fields.field1.size() == n - 7 && reply.endsWith(fields.field1),
              "field 1 is not the reply from character 8", fields.field1);
    if (!fields.field2.isEmpty()) {
        const qsizetype blank = fields.field1.indexOf(u' ');
        check(fields.field2.size() >= 8, "path field from a blank at position 9 or less", fields.field2);
        check(blank == fields.field2.size() + 1,
              "path field does not end two characters before the first blank", fields.field1);
        check(fields.field1.startsWith(fields.field2), "path field is not the start of field 1",
              fields.field2);
    } else {
        const qsizetype blank = fields.field1.indexOf(u' ');
        check(blank < 9, "a blank past position 9 gave no path field", fields.field1);
    }

    const QString value = ReplyFields::valueOf(reply);
    check(value.size() == std::clamp<qsizetype>(n - 2, 0, 10), "value is not characters 3 to 12", value);
    check(QStringView(reply).mid(2, value.size()) == value, "value is not the reply's text at character 3",
          value);

    // The measurement reply of the software: the path it names comes back whole.
    FuzzedDataProvider in(data, size);
    const std::string pathBytes = in.ConsumeRandomLengthString(260);
    QString path = QString::fromUtf8(pathBytes.data(), qsizetype(pathBytes.size()));
    path.remove(u' ');
    if (path.size() >= 8) {
        const QString rest = QString::fromUtf8(in.ConsumeRemainingBytesAsString().c_str());
        const QString measured = QStringLiteral("OK\r\n1\r\n") + path + QStringLiteral(", 1 AB") + rest;
        check(ReplyFields::split(measured).field2 == path, "measured file path does not read back", measured);
    }
    return 0;
}
