#include "bridge/LineBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> linesOf(LineBuffer& buffer, std::vector<bool>* oversized = nullptr)
{
    std::vector<std::string> lines;
    while (buffer.hasLine()) {
        LineBuffer::Line line = buffer.takeLine();
        lines.push_back(line.text);
        if (oversized)
            oversized->push_back(line.oversized);
    }
    return lines;
}

TEST(LineBufferTest, SplitsOnLineFeedsAcrossPackets)
{
    struct Case
    {
        std::vector<std::string> packets;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {{"CONNECT OPUS|System\n"}, {"CONNECT OPUS|System"}},
        {{"REQ", "UEST A\nEXEC", "UTE B\n"}, {"REQUEST A", "EXECUTE B"}},
        {{"REQUEST A\r\n"}, {"REQUEST A"}},
        {{"\n\n"}, {"", ""}},
        {{"no end yet"}, {}},
        {{"A\rB\n"}, {"A\rB"}},
    };
    for (const Case& c : cases) {
        LineBuffer buffer(64);
        for (const std::string& packet : c.packets)
            buffer.feed(packet.data(), packet.size());
        EXPECT_EQ(linesOf(buffer), c.lines) << c.packets.front();
    }
}

TEST(LineBufferTest, OversizedLineIsReportedOnceAndSkippedToItsEnd)
{
    LineBuffer buffer(8);
    const std::string bytes = "12345678\n123456789012345678901234\nAFTER\n";
    // Byte by byte, as a slow sender would deliver it.
    for (char c : bytes)
        buffer.feed(&c, 1);
    std::vector<bool> oversized;
    EXPECT_EQ(linesOf(buffer, &oversized), (std::vector<std::string>{"12345678", "", "AFTER"}));
    EXPECT_EQ(oversized, (std::vector<bool>{false, true, false}));

    buffer.feed("1234567890", 10);
    buffer.clear();
    buffer.feed("OK\n", 3);
    EXPECT_EQ(linesOf(buffer), (std::vector<std::string>{"OK"}));
}

} // namespace
