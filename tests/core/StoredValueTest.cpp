#include "core/StoredValue.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(StoredValueForms, EachConstructorGivesItsForm)
{
    EXPECT_EQ(StoredValue().form(), StoredValue::Form::Empty);
    EXPECT_EQ(StoredValue(3).form(), StoredValue::Form::Number);
    EXPECT_EQ(StoredValue(2.5).form(), StoredValue::Form::Number);
    EXPECT_EQ(StoredValue("x").form(), StoredValue::Form::Text);
    EXPECT_EQ(StoredValue(QStringLiteral("")).form(), StoredValue::Form::Text);
    EXPECT_EQ(StoredValue(true).form(), StoredValue::Form::Boolean);
}

TEST(StoredValueForms, EqualityIncludesTheForm)
{
    EXPECT_NE(StoredValue(5), StoredValue("5"));
    EXPECT_NE(StoredValue(), StoredValue(""));
    EXPECT_NE(StoredValue(0), StoredValue());
    EXPECT_EQ(StoredValue(5), StoredValue(5.0));
    EXPECT_EQ(StoredValue(std::numeric_limits<double>::quiet_NaN()),
              StoredValue(std::numeric_limits<double>::quiet_NaN()));
}

TEST(StoredValueEmpty, CountsAsZeroAndAsTheEmptyText)
{
    const StoredValue empty;
    EXPECT_TRUE(empty.equals(0));
    EXPECT_FALSE(empty.equals(1));
    EXPECT_TRUE(empty.isZeroOrEmpty());
    EXPECT_EQ(empty.toText(), QString());
    EXPECT_TRUE(empty.equalsText(QString()));
    EXPECT_EQ(empty.toInt16(), qint16(0));
    EXPECT_FALSE(empty.toBool());

    const StoredValue sum = empty.plus(5);
    EXPECT_TRUE(sum.isNumber());
    EXPECT_EQ(sum.toNumber(), 5);
}

TEST(StoredValueText, NumericTextTakesPartInArithmetic)
{
    const StoredValue five("5");
    EXPECT_TRUE(five.isNumeric());
    EXPECT_TRUE(five.equals(5));
    const StoredValue six = five.plus(1);
    EXPECT_TRUE(six.isNumber());
    EXPECT_EQ(six.toNumber(), 6);
    EXPECT_TRUE(StoredValue(" 12.5 ").equals(12.5));

    const StoredValue word("abc");
    EXPECT_FALSE(word.isNumeric());
    EXPECT_FALSE(word.equals(0));
    EXPECT_FALSE(word.isZeroOrEmpty());
    EXPECT_EQ(word.toNumber(), 0);
}

TEST(StoredValueText, TextUseOfEachForm)
{
    EXPECT_EQ(StoredValue(300).toText(), QStringLiteral("300"));
    EXPECT_EQ(StoredValue(12.5).toText(), QStringLiteral("12.5"));
    EXPECT_EQ(StoredValue(true).toText(), QStringLiteral("True"));
    EXPECT_EQ(StoredValue(false).toText(), QStringLiteral("False"));
    EXPECT_EQ(StoredValue(" a ").toText(), QStringLiteral(" a "));
    EXPECT_TRUE(StoredValue(4).equalsText(QStringLiteral("4")));
}

TEST(StoredValueBool, TrueTextAndNonZeroNumbers)
{
    EXPECT_TRUE(StoredValue(true).toBool());
    EXPECT_FALSE(StoredValue(false).toBool());
    EXPECT_TRUE(StoredValue(1).toBool());
    EXPECT_TRUE(StoredValue(-1).toBool());
    EXPECT_FALSE(StoredValue(0).toBool());
    EXPECT_TRUE(StoredValue("True").toBool());
    EXPECT_TRUE(StoredValue(" true ").toBool());
    EXPECT_FALSE(StoredValue("0").toBool());
    EXPECT_TRUE(StoredValue("2").toBool());
    EXPECT_FALSE(StoredValue("yes").toBool());
    EXPECT_TRUE(StoredValue(true).equals(-1));
}

struct Int16Case
{
    StoredValue value;
    std::optional<qint16> expected;
    const char* label;
};

class StoredValueInt16Test : public ::testing::TestWithParam<Int16Case>
{
};

TEST_P(StoredValueInt16Test, RoundsHalfToEvenWithinRange)
{
    EXPECT_EQ(GetParam().value.toInt16(), GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoredValueInt16Test,
    ::testing::Values(
        Int16Case{StoredValue(2.5), qint16(2), "2.5"}, Int16Case{StoredValue(3.5), qint16(4), "3.5"},
        Int16Case{StoredValue(-2.5), qint16(-2), "-2.5"}, Int16Case{StoredValue(0.49), qint16(0), "0.49"},
        Int16Case{StoredValue(-32768), qint16(-32768), "-32768"},
        Int16Case{StoredValue(-32768.5), qint16(-32768), "-32768.5 rounds to even"},
        Int16Case{StoredValue(-32769), std::nullopt, "-32769"},
        Int16Case{StoredValue(32767), qint16(32767), "32767"},
        Int16Case{StoredValue(32767.4), qint16(32767), "32767.4"},
        Int16Case{StoredValue(32767.5), std::nullopt, "32767.5 -> 32768"},
        Int16Case{StoredValue(40000), std::nullopt, "40000"},
        Int16Case{StoredValue("abc"), std::nullopt, "abc"},
        Int16Case{StoredValue(""), std::nullopt, "empty text"},
        Int16Case{StoredValue(" 12 "), qint16(12), "text 12"},
        Int16Case{StoredValue("2.5"), qint16(2), "text 2.5"}, Int16Case{StoredValue(), qint16(0), "empty"},
        Int16Case{StoredValue(true), qint16(-1), "true"}, Int16Case{StoredValue(false), qint16(0), "false"},
        Int16Case{StoredValue(std::numeric_limits<double>::quiet_NaN()), std::nullopt, "NaN"},
        Int16Case{StoredValue(std::numeric_limits<double>::infinity()), std::nullopt, "inf"},
        Int16Case{StoredValue(-std::numeric_limits<double>::infinity()), std::nullopt, "-inf"},
        Int16Case{StoredValue("1e400"), std::nullopt, "text 1e400"}));

} // namespace
