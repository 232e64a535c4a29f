#include "core/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

struct WholeCase
{
    const char* text;
    std::optional<double> expected;
};

class ParseWholeTest : public ::testing::TestWithParam<WholeCase>
{
};

TEST_P(ParseWholeTest, ReadsTheWholeTextOrNothing)
{
    const WholeCase& c = GetParam();
    const auto result = NumberText::parseWhole(QString::fromLatin1(c.text));
    ASSERT_EQ(result.has_value(), c.expected.has_value()) << c.text;
    if (c.expected) {
        EXPECT_DOUBLE_EQ(*result, *c.expected) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseWholeTest,
    ::testing::Values(WholeCase{"300", 300}, WholeCase{"12.5", 12.5}, WholeCase{" -3.5 ", -3.5},
                      WholeCase{"\t7\r\n", 7}, WholeCase{"abc", std::nullopt},
                      WholeCase{" 1 2", std::nullopt}, WholeCase{"1e400", std::nullopt},
                      WholeCase{"-1e400", std::nullopt}, WholeCase{"1e-400", 0.0}, WholeCase{"1.", 1},
                      WholeCase{".5", 0.5}, WholeCase{"-3", -3}, WholeCase{"+4", 4}, WholeCase{"1e3", 1000},
                      WholeCase{"1E-2", 0.01}, WholeCase{"1e", std::nullopt}, WholeCase{"1e+", std::nullopt},
                      WholeCase{"--1", std::nullopt}, WholeCase{"+-1", std::nullopt},
                      WholeCase{".", std::nullopt}, WholeCase{"-", std::nullopt}, WholeCase{"", std::nullopt},
                      WholeCase{"   ", std::nullopt}, WholeCase{"12abc", std::nullopt},
                      WholeCase{"1,5", std::nullopt}, WholeCase{"0x10", std::nullopt},
                      WholeCase{"inf", std::nullopt}, WholeCase{"nan", std::nullopt}));

struct LeadingCase
{
    const char* text;
    double expected;
};

class ParseLeadingTest : public ::testing::TestWithParam<LeadingCase>
{
};

TEST_P(ParseLeadingTest, ReadsLikeACountBox)
{
    const LeadingCase& c = GetParam();
    const double result = NumberText::parseLeading(QString::fromLatin1(c.text));
    if (std::isinf(c.expected))
        EXPECT_EQ(result, c.expected) << c.text;
    else
        EXPECT_DOUBLE_EQ(result, c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseLeadingTest,
    ::testing::Values(LeadingCase{"300", 300}, LeadingCase{"12.5", 12.5}, LeadingCase{"abc", 0},
                      LeadingCase{" 1 2", 12}, LeadingCase{"3 0 0 ", 300}, LeadingCase{"1e400", Inf},
                      LeadingCase{"-1e400", -Inf}, LeadingCase{"1e-400", 0}, LeadingCase{"1.", 1},
                      LeadingCase{".5", 0.5}, LeadingCase{"-3", -3}, LeadingCase{"+4", 4},
                      LeadingCase{"1e", 1}, LeadingCase{"1e+", 1}, LeadingCase{"1e+3", 1000},
                      LeadingCase{"--1", 0}, LeadingCase{"12abc", 12}, LeadingCase{"1,5", 1},
                      LeadingCase{"1-2", 1}, LeadingCase{"1e5x", 100000}, LeadingCase{"", 0},
                      LeadingCase{"-", 0}, LeadingCase{"x12", 0}));

TEST(NumberTextLongRuns, DigitRunsOfAnyLengthReadToTheRightMagnitude)
{
    const QString nines(100000, u'9');
    EXPECT_EQ(NumberText::parseLeading(nines), Inf);
    EXPECT_FALSE(NumberText::parseWhole(nines).has_value());

    const QString padded = QString(100000, u'0') + QStringLiteral("7");
    EXPECT_EQ(NumberText::parseLeading(padded), 7);
    EXPECT_EQ(NumberText::parseWhole(padded), 7);

    const QString tiny = QStringLiteral("0.") + QString(100000, u'0') + QStringLiteral("1");
    EXPECT_EQ(NumberText::parseLeading(tiny), 0);
    EXPECT_EQ(NumberText::parseWhole(tiny), 0);

    // Significant digits before a long negative exponent: still tiny, not huge.
    const QString small = QStringLiteral("123456e-99999999999999999999");
    EXPECT_EQ(NumberText::parseLeading(small), 0);
    EXPECT_EQ(NumberText::parseLeading(QStringLiteral("-0.5e99999999999999999999")), -Inf);

    const QString twenty = QStringLiteral("11111111111111111111");
    EXPECT_DOUBLE_EQ(*NumberText::parseWhole(twenty), 11111111111111111111.0);
}

struct FormatCase
{
    double value;
    const char* expected;
};

class FormatTest : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(FormatTest, WritesTheShortestDecimal)
{
    EXPECT_EQ(NumberText::format(GetParam().value), QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Table, FormatTest,
                         ::testing::Values(FormatCase{300, "300"}, FormatCase{12.5, "12.5"},
                                           FormatCase{-2.5, "-2.5"}, FormatCase{-0.0, "0"},
                                           FormatCase{0.1, "0.1"}, FormatCase{7200.5f, "7200.5"},
                                           FormatCase{123456789012345, "123456789012345"},
                                           FormatCase{1e15, "1E+15"}, FormatCase{1e20, "1E+20"},
                                           FormatCase{0.00001, "0.00001"}, FormatCase{1e-6, "1E-06"}));

TEST(NumberTextRoundTrip, FormattedNumbersReadBackExactly)
{
    const double values[] = {0.1 + 0.2,
                             1.0 / 3.0,
                             -1e-5,
                             1e-5,
                             999999999999999.9,
                             12345.678f,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::lowest(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             -32768,
                             4e-320};
    for (double v : values) {
        const QString text = NumberText::format(v);
        const auto back = NumberText::parseWhole(text);
        ASSERT_TRUE(back.has_value()) << text.toStdString();
        EXPECT_EQ(*back, v) << text.toStdString();
        EXPECT_EQ(NumberText::parseLeading(text), v) << text.toStdString();
    }
}

TEST(NumberTextRounding, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(NumberText::roundHalfEven(2.5), 2);
    EXPECT_EQ(NumberText::roundHalfEven(3.5), 4);
    EXPECT_EQ(NumberText::roundHalfEven(-2.5), -2);
    EXPECT_EQ(NumberText::roundHalfEven(0.5), 0);
    EXPECT_EQ(NumberText::roundHalfEven(1.5), 2);
    EXPECT_EQ(NumberText::roundHalfEven(2.4999), 2);
    EXPECT_EQ(NumberText::roundHalfEven(-3.6), -4);
}

// The application sets the C locale from the environment; a decimal-comma locale must not change how
// "12.5" reads.
TEST(NumberTextLocale, FullStopIsTheSeparatorUnderAnyLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"};
    const char* applied = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_NUMERIC, name)) {
            applied = name;
            break;
        }
    }
    if (!applied)
        GTEST_SKIP() << "no decimal-comma locale installed";
    const auto whole = NumberText::parseWhole(QStringLiteral("12.5"));
    const double leading = NumberText::parseLeading(QStringLiteral("12.5"));
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(whole, 12.5);
    EXPECT_EQ(leading, 12.5);
}

} // namespace
