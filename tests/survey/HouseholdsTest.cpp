#include "SurveyFixture.h"

#include <string>

namespace {

using HouseholdsTest = SurveyTest;

TEST_F(HouseholdsTest, StoresWhatWasTypedAndKeepsTheTotalInCurrency)
{
    struct Entry
    {
        const char *id, *income, *persons;
        double storedIncome, storedPersons;
        std::int64_t totalAfter;
    };
    const Entry entries[] = {
        {"1001", "6000", "3", 6000, 3, 60000000},
        {"  7 ", "1,000", "2.5", 1, 2.5, 60010000},
        {"", "", "three", 0, 0, 60010000},
        {"x", "abc", "-1", 0, -1, 60010000},
        {"y", " 12 000.50 ", "1", 12000.5, 1, 180015000},
        {"z", "12.34567", "0", 12.34567, 0, 180138457},
        {"n", "-500", "4", -500, 4, 175138457},
    };
    for (const auto &e : entries) {
        ASSERT_EQ(AddHousehold(e.id, e.income, e.persons), AddResult::Added) << e.id;
        const auto &row = Households[HouseholdCount - 1];
        EXPECT_EQ(row.ID, e.id);
        EXPECT_DOUBLE_EQ(row.Income, e.storedIncome) << e.income;
        EXPECT_DOUBLE_EQ(row.NumPersons, e.storedPersons) << e.persons;
        EXPECT_EQ(TotalIncome.tenThousandths, e.totalAfter) << e.income;
    }
    EXPECT_EQ(HouseholdCount, 7);
    EXPECT_EQ(Households[1].ID, "  7 ");
}

TEST_F(HouseholdsTest, RowsStayInEntryOrder)
{
    for (int i = 0; i < 5; ++i)
        AddHousehold(std::to_string(100 + i), std::to_string(1000 * (5 - i)), "1");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Households[i].ID, std::to_string(100 + i));
}

TEST_F(HouseholdsTest, HoldsFortyOneAndRefusesTheFortySecond)
{
    for (int i = 0; i < MaxHouseholds; ++i)
        ASSERT_EQ(AddHousehold(std::to_string(i), "10", "1"), AddResult::Added) << i;
    EXPECT_EQ(HouseholdCount, 41);
    EXPECT_EQ(Households[40].ID, "40");
    EXPECT_EQ(TotalIncome, Currency{410 * 10000});

    EXPECT_EQ(AddHousehold("extra", "10", "1"), AddResult::TableFull);
    EXPECT_EQ(HouseholdCount, 41);
    EXPECT_EQ(TotalIncome, Currency{410 * 10000});
    EXPECT_EQ(Households[40].ID, "40");
}

struct Refusal
{
    const char *income, *persons;
    AddResult expected;
};

std::ostream &operator<<(std::ostream &os, const Refusal &r)
{
    return os << "income \"" << r.income << "\" persons \"" << r.persons << '"';
}

class HouseholdRefusal : public SurveyTest, public testing::WithParamInterface<Refusal>
{
};

TEST_P(HouseholdRefusal, ChangesNothing)
{
    ASSERT_EQ(AddHousehold("1", "900000000000000", "1"), AddResult::Added);
    const auto totalBefore = TotalIncome;

    EXPECT_EQ(AddHousehold("2", GetParam().income, GetParam().persons), GetParam().expected);
    EXPECT_EQ(HouseholdCount, 1);
    EXPECT_EQ(TotalIncome, totalBefore);
    EXPECT_EQ(Households[1].ID, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HouseholdRefusal,
    testing::Values(Refusal{"1E15", "1", AddResult::IncomeOutOfRange},
                    Refusal{"-1E15", "1", AddResult::IncomeOutOfRange},
                    Refusal{"1E400", "1", AddResult::IncomeOutOfRange},
                    Refusal{"-1E400", "1", AddResult::IncomeOutOfRange},
                    Refusal{"100000000000000", "1", AddResult::TotalOutOfRange},
                    Refusal{"5", "1E400", AddResult::SizeNotFinite},
                    Refusal{"5", "-1E400", AddResult::SizeNotFinite}));

TEST_F(HouseholdsTest, TotalMayReturnFromTheEdgeOfItsRange)
{
    ASSERT_EQ(AddHousehold("1", "900000000000000", "1"), AddResult::Added);
    ASSERT_EQ(AddHousehold("2", "-900000000000000", "1"), AddResult::Added);
    ASSERT_EQ(AddHousehold("3", "900000000000000", "1"), AddResult::Added);
    EXPECT_EQ(TotalIncome, Currency{9000000000000000000});
}

} // namespace
