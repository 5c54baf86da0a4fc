#include "Values.h"

#include <gtest/gtest.h>

#include <limits>

struct FlagCase {
    const char *text;
    bool expected;
};

TEST(Values, boolValueReadsStringsLikeStoredPreferences)
{
    const FlagCase cases[] = {
        {"Yes", true}, {"yes", true}, {"YES", true}, {"No", false}, {"no", false}, {"NO", false},
        {"true", true}, {"True", true}, {"false", false}, {"1", true}, {"0", false}, {"9", true},
        {"  +007", true}, {"-1", true}, {"000", false}, {"0x1", false}, {"", false}, {"   ", false},
        {" y", true}, {"t", true}, {"n", false}, {"maybe", false}, {"+", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(boolValue(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(Values, intValueTakesTheLeadingInteger)
{
    struct Case {
        const char *text;
        qint64 expected;
    };
    const Case cases[] = {
        {"12abc", 12}, {"  -42", -42}, {"+5", 5}, {"abc", 0}, {"", 0}, {"3.9", 3},
        {"0012", 12}, {"- 5", 0}, {"\t\n7", 7}, {"1e3", 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(intValue(QString::fromUtf8(c.text)), c.expected) << c.text;
        EXPECT_EQ(integerValue(QString::fromUtf8(c.text)), c.expected) << c.text;
    }
}

TEST(Values, integersSaturateInsteadOfOverflowing)
{
    EXPECT_EQ(intValue(QStringLiteral("99999999999")), std::numeric_limits<int>::max());
    EXPECT_EQ(intValue(QStringLiteral("-99999999999")), std::numeric_limits<int>::min());
    EXPECT_EQ(intValue(QStringLiteral("-2147483648")), std::numeric_limits<int>::min());
    EXPECT_EQ(integerValue(QStringLiteral("99999999999")), 99999999999LL);
    EXPECT_EQ(integerValue(QStringLiteral("999999999999999999999")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(intValue(QVariant(qint64(1) << 40)), std::numeric_limits<int>::max());
    EXPECT_EQ(intValue(QVariant(1e300)), std::numeric_limits<int>::max());
    EXPECT_EQ(integerValue(QVariant(std::numeric_limits<double>::quiet_NaN())), 0);
}

TEST(Values, doubleValueTakesTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("1.5kg")), 1.5);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral(" -2.25e2x")), -225.0);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("3e")), 3.0);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("e3")), 0.0);
    EXPECT_DOUBLE_EQ(doubleValue(QStringLiteral("-.")), 0.0);
}

TEST(Values, storedValuesOfEveryKind)
{
    EXPECT_TRUE(boolValue(QVariant(true)));
    EXPECT_FALSE(boolValue(QVariant(false)));
    EXPECT_FALSE(boolValue(QVariant(QStringLiteral("No")))) << "a stored \"No\" must never read as true";
    EXPECT_TRUE(boolValue(QVariant(2)));
    EXPECT_TRUE(boolValue(QVariant(0.5)));
    EXPECT_FALSE(boolValue(QVariant()));
    EXPECT_FALSE(boolValue(QVariant(QVariantList{1})));
    EXPECT_EQ(intValue(QVariant(QStringLiteral("12abc"))), 12);
    EXPECT_EQ(intValue(QVariant(true)), 1);
    EXPECT_EQ(intValue(QVariant(7.9)), 7);
    EXPECT_EQ(intValue(QVariant()), 0);
    EXPECT_DOUBLE_EQ(doubleValue(QVariant(QStringLiteral("2.5"))), 2.5);
}

TEST(Values, missingIsNotEmpty)
{
    EXPECT_FALSE(isStringValue(QVariant()));
    EXPECT_TRUE(isStringValue(QVariant(QString())));
    EXPECT_TRUE(isStringValue(QVariant(QStringLiteral(""))));
    EXPECT_FALSE(isStringValue(QVariant(5)));
}
