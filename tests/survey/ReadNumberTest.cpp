#include "ReadNumber.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <string>

namespace {

struct Case
{
    std::string text;
    double expected;
};

std::ostream &operator<<(std::ostream &os, const Case &c) { return os << '"' << c.text << '"'; }

class ReadNumberTest : public testing::TestWithParam<Case>
{
};

TEST_P(ReadNumberTest, ReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(ReadNumber(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Plain, ReadNumberTest,
    testing::Values(Case{"6000", 6000}, Case{"12.5", 12.5}, Case{"-1", -1}, Case{"+7", 7}, Case{"0", 0},
                    Case{".5", 0.5}, Case{"5.", 5}, Case{"-.25", -0.25}, Case{"007", 7}));

INSTANTIATE_TEST_SUITE_P(
    BlanksAnywhere, ReadNumberTest,
    testing::Values(Case{"1 2 3", 123}, Case{"  12 000.50  ", 12000.5}, Case{"\t42\n", 42},
                    Case{"- 5", -5}, Case{"1 . 5 E 2", 150}, Case{" ", 0}));

INSTANTIATE_TEST_SUITE_P(
    Exponent, ReadNumberTest,
    testing::Values(Case{"1.5E2", 150}, Case{"1.5e2", 150}, Case{"2E-2", 0.02}, Case{"2E+3", 2000},
                    Case{"3E", 3}, Case{"3E+", 3}, Case{"3Ex", 3}, Case{"1D2", 1}, Case{"1E-400", 0}));

INSTANTIATE_TEST_SUITE_P(
    StopsAtFirstForeignCharacter, ReadNumberTest,
    testing::Values(Case{"1,000", 1}, Case{"$100", 0}, Case{"3 people", 3}, Case{"12.34.56", 12.34},
                    Case{"--5", 0}, Case{"+-5", 0}, Case{"5-", 5}, Case{"1,5", 1}));

INSTANTIATE_TEST_SUITE_P(
    NoNumberReadsZero, ReadNumberTest,
    testing::Values(Case{"", 0}, Case{"abc", 0}, Case{"three", 0}, Case{".", 0}, Case{"-", 0}, Case{"+.", 0},
                    Case{"E5", 0}, Case{"&H1F", 0}, Case{"&O17", 0}, Case{"inf", 0}, Case{"nan", 0},
                    Case{"0x10", 0}, Case{"\r5", 0}));

TEST(ReadNumber, MagnitudeBeyondDoubleIsInfinite)
{
    EXPECT_EQ(ReadNumber("1E400"), HUGE_VAL);
    EXPECT_EQ(ReadNumber("-1E400"), -HUGE_VAL);
    EXPECT_EQ(ReadNumber(std::string(400, '9')), HUGE_VAL);
    EXPECT_EQ(ReadNumber("0.0001E400"), HUGE_VAL);
    EXPECT_EQ(ReadNumber("1000E-400"), 0.0);
    EXPECT_EQ(ReadNumber("1E99999999999999999999"), HUGE_VAL);
    EXPECT_EQ(ReadNumber("0E400"), 0.0);
}

TEST(ReadNumber, IgnoresTheRegionalDecimalSeparator)
{
    // A comma is never a decimal separator, whatever the regional settings.
    EXPECT_DOUBLE_EQ(ReadNumber("2,5"), 2);
    EXPECT_DOUBLE_EQ(ReadNumber("2.5"), 2.5);
}

} // namespace
