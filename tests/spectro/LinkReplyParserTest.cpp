#include "spectro/LinkReplyParser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Kind = LinkReplyParser::Event::Kind;

// One event written compactly: "OK", "OK[value]", "ERROR:desc", "NOTIFY:item", "PROTO", "BIG".
std::string describe(const LinkReplyParser::Event& e)
{
    switch (e.kind) {
    case Kind::Ok:
        return e.hasValue ? "OK[" + e.value.toStdString() + "]" : "OK";
    case Kind::Error:
        return "ERROR:" + e.text.toStdString();
    case Kind::Notify:
        return "NOTIFY:" + e.text.toStdString();
    case Kind::ProtocolError:
        return e.tooLarge ? "BIG" : "PROTO";
    }
    return "?";
}

std::vector<std::string> parseAll(LinkReplyParser& parser)
{
    std::vector<std::string> events;
    while (parser.hasEvent())
        events.push_back(describe(parser.takeEvent()));
    return events;
}

std::vector<std::string> parseWhole(const QByteArray& bytes)
{
    LinkReplyParser parser;
    parser.feed(bytes);
    return parseAll(parser);
}

struct FramingCase
{
    const char* name;
    QByteArray bytes;
    std::vector<std::string> events;
};

class LinkFraming : public ::testing::TestWithParam<FramingCase>
{
};

TEST_P(LinkFraming, WholeAndByteByByteGiveTheSameEvents)
{
    const FramingCase& c = GetParam();
    EXPECT_EQ(parseWhole(c.bytes), c.events);

    LinkReplyParser parser;
    std::vector<std::string> events;
    for (char byte : c.bytes) {
        parser.feed(QByteArray(1, byte));
        for (const std::string& e : parseAll(parser))
            events.push_back(e);
    }
    EXPECT_EQ(events, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkFraming,
    ::testing::Values(
        FramingCase{"plain_ok", "OK\n", {"OK"}},
        FramingCase{"error_with_text", "ERROR Item refused\n", {"ERROR:Item refused"}},
        FramingCase{"bare_error", "ERROR\n", {"ERROR:"}},
        FramingCase{"value_with_line_breaks", "OK 7\nab\r\ncd\n", {"OK[ab\r\ncd\n]"}},
        FramingCase{"empty_value", "OK 0\nOK\n", {"OK[]", "OK"}},
        FramingCase{
            "value_holding_a_notify", "OK 10\n\nNOTIFY x\nNOTIFY y\n", {"OK[\nNOTIFY x\n]", "NOTIFY:y"}},
        FramingCase{"notify_between_answers", "NOTIFY A B\nOK\nNOTIFY C\n", {"NOTIFY:A B", "OK", "NOTIFY:C"}},
        FramingCase{"leading_zeros", "OK 0003\nabc", {"OK[abc]"}},
        FramingCase{"value_at_the_limit_waits", "OK 16777216\nabc", {}},
        FramingCase{"value_beyond_the_limit", "OK 16777217\n", {"BIG"}},
        FramingCase{"absurd_length", "OK 99999999999999999999999\nOK\n", {"BIG"}},
        FramingCase{"negative_length", "OK -1\n", {"PROTO"}},
        FramingCase{"length_with_garbage", "OK 5x\nhello", {"PROTO"}},
        FramingCase{"two_blanks", "OK  5\nhello", {"PROTO"}}, FramingCase{"lower_case", "ok\n", {"PROTO"}},
        FramingCase{"carriage_return_line", "OK\r\n", {"PROTO"}},
        FramingCase{"unknown_line_stops_everything", "OK\nHELLO\nOK\nNOTIFY x\n", {"OK", "PROTO"}},
        FramingCase{"nul_and_high_bytes_in_value",
                    QByteArray("OK 3\n\0\xff\x80", 8),
                    {std::string("OK[\0\xff\x80]", 7)}}),
    [](const ::testing::TestParamInfo<FramingCase>& info) { return std::string(info.param.name); });

TEST(LinkReplyParser, ControlLineWithoutEndIsRefusedPastTheLimit)
{
    LinkReplyParser parser;
    parser.feed(QByteArray(LinkReplyParser::MaxLineBytes, 'N'));
    EXPECT_FALSE(parser.hasEvent());
    parser.feed("NN");
    ASSERT_TRUE(parser.hasEvent());
    EXPECT_EQ(describe(parser.takeEvent()), "BIG");
    EXPECT_TRUE(parser.failed());
    EXPECT_EQ(parser.bufferedBytes(), 0);
}

TEST(LinkReplyParser, NothingIsParsedAfterAProtocolErrorUntilReset)
{
    LinkReplyParser parser;
    parser.feed("BAD\n");
    EXPECT_EQ(parseAll(parser), std::vector<std::string>{"PROTO"});
    parser.feed("OK\n");
    EXPECT_FALSE(parser.hasEvent());
    parser.reset();
    parser.feed("OK\n");
    EXPECT_EQ(parseAll(parser), std::vector<std::string>{"OK"});
}

TEST(LinkReplyParser, RandomSplitsOfAMixedStreamGiveTheSameEvents)
{
    QByteArray stream;
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) {
        const QByteArray value = QByteArray(i * 37 % 300, char('a' + i % 26)) + "\nNOTIFY fake\r\n";
        stream += "NOTIFY item " + QByteArray::number(i) + "\n";
        stream += "OK " + QByteArray::number(value.size()) + "\n" + value;
        stream += "ERROR e" + QByteArray::number(i) + "\n";
        expected.push_back("NOTIFY:item " + std::to_string(i));
        expected.push_back("OK[" + value.toStdString() + "]");
        expected.push_back("ERROR:e" + std::to_string(i));
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        LinkReplyParser parser;
        std::vector<std::string> events;
        qsizetype pos = 0;
        while (pos < stream.size()) {
            const qsizetype n = std::uniform_int_distribution<int>(1, 64)(rng);
            parser.feed(stream.mid(pos, n));
            pos += n;
            for (const std::string& e : parseAll(parser))
                events.push_back(e);
        }
        ASSERT_EQ(events, expected) << "round " << round;
        EXPECT_EQ(parser.bufferedBytes(), 0);
    }
}

} // namespace
