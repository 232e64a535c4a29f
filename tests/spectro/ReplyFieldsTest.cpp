#include "spectro/ReplyFields.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase
{
    const char* name;
    QString reply;
    QString field0;
    QString field1;
    QString field2;
    QString value;
};

class ReplyFieldsSplit : public ::testing::TestWithParam<SplitCase>
{
};

} // namespace

TEST_P(ReplyFieldsSplit, FieldsAtTheirPositions)
{
    const SplitCase& c = GetParam();
    const ReplyFields fields = ReplyFields::split(c.reply);
    EXPECT_EQ(fields.field0, c.field0);
    EXPECT_EQ(fields.field1, c.field1);
    EXPECT_EQ(fields.field2, c.field2);
    EXPECT_EQ(ReplyFields::valueOf(c.reply), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyFieldsSplit,
    ::testing::Values(SplitCase{"Empty", "", "", "", "", ""}, SplitCase{"Two", "OK", "", "", "", ""},
                      SplitCase{"Seven", "OK12345", "345", "", "", "12345"},
                      SplitCase{"Eight", "OK123456", "3456", "6", "", "123456"},
                      SplitCase{"Measurement", "OK\r\n1\r\n/data/x/L-101-ROUGH.0, 1 AB\r\n",
                                "1\r\n/data/x/L-101-ROUGH.0, 1 AB\r\n", "/data/x/L-101-ROUGH.0, 1 AB\r\n",
                                "/data/x/L-101-ROUGH.0", "\r\n1\r\n/data"},
                      // A first blank at position 9 is too early for a path; at 10 it gives eight characters.
                      SplitCase{"BlankAtNine", "OK\r\n1\r\nabcdefg, x", "1\r\nabcdefg, x", "abcdefg, x", "",
                                "\r\n1\r\nabcde"},
                      SplitCase{"BlankAtTen", "OK\r\n1\r\nabcdefgh, x", "1\r\nabcdefgh, x", "abcdefgh, x",
                                "abcdefgh", "\r\n1\r\nabcde"},
                      SplitCase{"NoBlank", "OKabcdefghijklmnop", "cdefghijklmnop", "fghijklmnop", "",
                                "abcdefghij"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyFieldsDecode, Utf8WhenValidElseOneBytePerCharacter)
{
    EXPECT_EQ(ReplyFields::decode("Pr\xc3\xbc"
                                  "fung"),
              QStringLiteral("Pr\u00fcfung"));
    EXPECT_EQ(ReplyFields::decode("\xb0\xe9"), QStringLiteral("\u00b0\u00e9"));
    EXPECT_EQ(ReplyFields::decode(QByteArray("a\0b", 3)).size(), 3);
}
