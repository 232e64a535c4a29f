#include "bridge/StationEvents.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StationEventsTest, EventsLeftOverFromAClosedConnectionMissTheNextOnTheSameHandle)
{
    struct Posted
    {
        unsigned message;
        std::uintptr_t socket;
        std::string what;
    };
    StationEvents events;
    // A station that closes and then resets posts two close events; the bridge closes its socket at
    // the first, and the next station's socket gets the same handle value before the second is read.
    const StationEvents::Connection gone = events.open(0x1A4);
    const StationEvents::Connection next = events.open(0x1A4);
    const std::vector<Posted> queue{{gone.message, 0x1A4, "gone: reset"},
                                    {next.message, 0x1A4, "next: read"},
                                    {next.message, 0x2B8, "another socket"},
                                    {gone.message, 0x1A4, "gone: late read"}};
    std::vector<std::string> reached;
    for (const Posted& posted : queue) {
        EXPECT_TRUE(StationEvents::isStationMessage(posted.message));
        if (StationEvents::belongs(posted.message, posted.socket, next))
            reached.push_back(posted.what);
    }
    EXPECT_EQ(reached, std::vector<std::string>{"next: read"});
}

TEST(StationEventsTest, ConsecutiveConnectionsNeverShareAMessage)
{
    StationEvents events;
    unsigned previous = 0;
    for (unsigned i = 0; i < 2 * StationEvents::MessageCount + 3; ++i) {
        const unsigned message = events.open(0x1A4).message;
        ASSERT_TRUE(StationEvents::isStationMessage(message)) << i;
        ASSERT_NE(message, previous) << i;
        previous = message;
    }
    EXPECT_FALSE(StationEvents::isStationMessage(StationEvents::FirstMessage - 1));
    EXPECT_FALSE(StationEvents::isStationMessage(StationEvents::FirstMessage + StationEvents::MessageCount));
}

} // namespace
