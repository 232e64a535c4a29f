#include "workflows/StoneModes.h"
#include "workflows/StoneWorkflows.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct Reshape
{
    const char* scanned;
    const char* expected;
};

void PrintTo(const Reshape& r, std::ostream* os)
{
    *os << '"' << r.scanned << "\" -> \"" << r.expected << '"';
}

class ReshapeStoneIdTest : public ::testing::TestWithParam<Reshape>
{
};

TEST_P(ReshapeStoneIdTest, GivesTheLotStyleIdentifier)
{
    EXPECT_EQ(StoneWorkflows::ReshapeStoneId(QString::fromUtf8(GetParam().scanned)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Table, ReshapeStoneIdTest,
                         ::testing::Values(Reshape{"LOT123-05#7-2", "LOT123-7.2"},
                                           Reshape{"LOT123-05#7", "LOT123-7"}, Reshape{"AB-1#2-", "AB-2-"},
                                           Reshape{"ABC#", "ABC#"}, Reshape{"ABC", "ABC"},
                                           Reshape{"AB#12-3", "AB#12-12.3"}, Reshape{"", ""},
                                           Reshape{"#", "#"},
                                           // Only the first "-" after the "#" becomes a point.
                                           Reshape{"L-9#1-2-3", "L-1.2-3"},
                                           // "#" but no "-": no lot prefix to keep, left as scanned.
                                           Reshape{"LOT123#7", "LOT123#7"}, Reshape{"#12", "#12"},
                                           // The "#" first: an empty prefix before the first "-".
                                           Reshape{"#1-2", "#1-1.2"}, Reshape{"-#5", "-5"}));

TEST(StoneModesTest, RegistrationOffersThreeModes)
{
    const auto rough = StoneModes::forRegistration(0);
    ASSERT_TRUE(rough);
    EXPECT_EQ(rough->picture, "rough_1.jpg");
    EXPECT_EQ(rough->experimentFile, "ROUGH.XPM");
    const auto splits = StoneModes::forRegistration(2);
    ASSERT_TRUE(splits);
    EXPECT_EQ(splits->picture, "Splits_1.jpg");
    EXPECT_EQ(splits->experimentFile, "AFTERSAWING.XPM");
    EXPECT_EQ(splits->fileSuffix, "-AFTERSAWING");
    EXPECT_EQ(splits->stageName, "AFTERSAWING");
    for (int index : {-1, 3, 4, 5, 6})
        EXPECT_FALSE(StoneModes::forRegistration(index)) << index;
}

TEST(StoneModesTest, QueryPairsTwoStages)
{
    struct Row
    {
        int index;
        const char* picture;
        const char* experiment;
        const char* suffix;
        const char* stage;
    };
    const Row rows[] = {
        {0, "Rough_Rough_1.jpg", "ROUGH.XPM", "-ROUGH", "ROUGH"},
        {1, "Polish_Polish_1.jpg", "POLISH.XPM", "-POLISH", "POLISH-POLISH"},
        {2, "Splits_Splits_1.jpg", "AFTERSAWING.XPM", "-AFTERSAWING", "AFTERSAWING"},
        {3, "Polish_Rough_1.jpg", "POLISH.XPM", "-POLISH-ROUGH", "POLISH-ROUGH"},
        {4, "Polish_Splits_1.jpg", "POLISH.XPM", "-POLISH-AFTERSAWING", "POLISH"},
        {5, "Splits_Rough_1.jpg", "AFTERSAWING.XPM", "-AFTERSAWING-ROUGH", "AFTERSAWING-ROUGH"},
    };
    for (const Row& row : rows) {
        const auto mode = StoneModes::forQuery(row.index);
        ASSERT_TRUE(mode) << row.index;
        EXPECT_EQ(mode->picture, row.picture);
        EXPECT_EQ(mode->experimentFile, row.experiment);
        EXPECT_EQ(mode->fileSuffix, row.suffix);
        EXPECT_EQ(mode->stageName, row.stage);
    }
    EXPECT_FALSE(StoneModes::forQuery(6));
}

} // namespace
