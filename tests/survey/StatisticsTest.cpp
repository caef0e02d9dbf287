#include "Statistics.h"
#include "SurveyFixture.h"

#include <string>
#include <vector>

namespace {

struct Household
{
    const char *income;
    const char *persons;
};

class StatisticsTest : public SurveyTest
{
protected:
    void Enter(const std::vector<Household> &households)
    {
        for (const auto &h : households)
            ASSERT_EQ(AddHousehold(std::to_string(HouseholdCount), h.income, h.persons), AddResult::Added);
    }
};

TEST_F(StatisticsTest, AverageComesFromTheRunningTotalInFourDecimals)
{
    Enter({{"10", "1"}, {"20", "1"}, {"21", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{170000});

    SetUp();
    Enter({{"1", "1"}, {"1", "1"}, {"2", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{13333});

    SetUp();
    Enter({{"-5", "1"}, {"-10", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{-75000});

    // Through a double, 0.00015 lies a hair below the half.
    SetUp();
    Enter({{".0001", "1"}, {"0", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{0});
    SetUp();
    Enter({{".0003", "1"}, {"0", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{1});
    SetUp();
    Enter({{"-.0003", "1"}, {"0", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{-1});
    SetUp();
    Enter({{"25000.0003", "1"}, {"25000.0004", "1"}});
    EXPECT_EQ(AverageIncome(), Currency{250000003});
}

TEST_F(StatisticsTest, AboveAverageIsStrictlyGreaterInCurrency)
{
    Enter({{"100", "1"}, {"200", "1"}, {"300", "1"}});
    const auto average = AverageIncome();
    EXPECT_EQ(average, Currency{2000000});
    EXPECT_FALSE(IsAboveAverage(Households[0], average));
    EXPECT_FALSE(IsAboveAverage(Households[1], average));
    EXPECT_TRUE(IsAboveAverage(Households[2], average));

    const Currency oneThird{13333};
    EXPECT_FALSE(IsAboveAverage({"", 1.33334, 1}, oneThird)); // equal once in Currency
    EXPECT_TRUE(IsAboveAverage({"", 1.33336, 1}, oneThird));
    EXPECT_FALSE(IsAboveAverage({"", 1.3333, 1}, oneThird));
}

TEST_F(StatisticsTest, NoHouseholdIsAboveAnAverageTheyAllEqual)
{
    Enter({{"5000", "1"}, {"5000", "2"}, {"5000", "3"}});
    const auto average = AverageIncome();
    for (int i = 0; i < HouseholdCount; ++i)
        EXPECT_FALSE(IsAboveAverage(Households[i], average));

    // A total this large is no longer exact as a double.
    SetUp();
    Enter(std::vector<Household>(12, {"13756968475898.486", "1"}));
    EXPECT_EQ(AverageIncome(), *Currency::FromDouble(Households[0].Income));
    for (int i = 0; i < HouseholdCount; ++i)
        EXPECT_FALSE(IsAboveAverage(Households[i], AverageIncome()));
}

struct PovertyCase
{
    double income;
    double persons;
    bool below;
};

std::ostream &operator<<(std::ostream &os, const PovertyCase &c)
{
    return os << c.income << " for " << c.persons << " persons";
}

class PovertyLimit : public testing::TestWithParam<PovertyCase>
{
};

TEST_P(PovertyLimit, ComparesStrictlyWithTheLimitForTheSize)
{
    const auto c = GetParam();
    EXPECT_EQ(IsBelowPoverty({"", c.income, c.persons}), c.below) << c.income << " for " << c.persons;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PovertyLimit,
    testing::Values(PovertyCase{7999.99, 2, true}, PovertyCase{8000, 2, false}, PovertyCase{7999.99, 1, true},
                    PovertyCase{8000, 1, false}, PovertyCase{7999, 0, true}, PovertyCase{8000, -4, false},
                    PovertyCase{7999, -4, true}, PovertyCase{7999.99, 1.5, true}, PovertyCase{8000, 1.5, false},
                    PovertyCase{9999.99, 3, true}, PovertyCase{10000, 3, false}, PovertyCase{11999, 4, true},
                    PovertyCase{12000, 4, false}, PovertyCase{8999.99, 2.5, true}, PovertyCase{9000, 2.5, false},
                    PovertyCase{-100, 3, true},
                    // The limit lies beyond Currency: every storable income is below it.
                    PovertyCase{900000000000000, 1e300, true}, PovertyCase{900000000000000, 5e11, true}));

TEST(PovertyThreshold, GrowsByTwoThousandAPerson)
{
    EXPECT_EQ(PovertyThreshold(3), Currency{100000000});
    EXPECT_EQ(PovertyThreshold(4), Currency{120000000});
    EXPECT_EQ(PovertyThreshold(2.5), Currency{90000000});
    EXPECT_EQ(PovertyThreshold(10), Currency{240000000});
    EXPECT_FALSE(PovertyThreshold(1e300));
}

struct FractionCase
{
    int below;
    int households;
    std::int64_t tenThousandths;
};

std::ostream &operator<<(std::ostream &os, const FractionCase &c)
{
    return os << c.below << " of " << c.households;
}

class PovertyFraction : public SurveyTest, public testing::WithParamInterface<FractionCase>
{
};

TEST_P(PovertyFraction, IsCountOverHouseholdsInFourDecimals)
{
    const auto c = GetParam();
    for (int i = 0; i < c.households; ++i)
        AddHousehold(std::to_string(i), i < c.below ? "100" : "50000", "1");
    EXPECT_EQ(BelowPovertyCount(), c.below);
    EXPECT_EQ(BelowPovertyFraction(), Currency{c.tenThousandths});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PovertyFraction,
    testing::Values(FractionCase{1, 3, 3333}, FractionCase{2, 3, 6667}, FractionCase{1, 8, 1250},
                    FractionCase{1, 32, 312}, FractionCase{3, 32, 938}, FractionCase{0, 5, 0},
                    FractionCase{5, 5, 10000}, FractionCase{1, 1, 10000}, FractionCase{41, 41, 10000}));

TEST_F(StatisticsTest, BelowCountUsesEachHouseholdsOwnLimit)
{
    Enter({{"5000", "1"}, {"10000", "3"}, {"6000", "4"}});
    EXPECT_EQ(BelowPovertyCount(), 2);
    EXPECT_EQ(BelowPovertyFraction(), Currency{6667});
}

} // namespace
