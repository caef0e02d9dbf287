#include "Currency.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <limits>

namespace {

struct Conversion
{
    double value;
    std::int64_t tenThousandths;
};

std::ostream &operator<<(std::ostream &os, const Conversion &c) { return os << c.value; }

class CurrencyFromDouble : public testing::TestWithParam<Conversion>
{
};

TEST_P(CurrencyFromDouble, RoundsToNearestTenThousandthHalvesToEven)
{
    const auto c = Currency::FromDouble(GetParam().value);
    ASSERT_TRUE(c.has_value()) << GetParam().value;
    EXPECT_EQ(c->tenThousandths, GetParam().tenThousandths) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, CurrencyFromDouble,
    testing::Values(Conversion{1.5, 15000}, Conversion{12.34567, 123457}, Conversion{0.03125, 312},
                    Conversion{0.09375, 938}, Conversion{0.15625, 1562},
                    Conversion{-0.03125, -312}, Conversion{-12.34567, -123457}, Conversion{12000.5, 120005000},
                    Conversion{1.0 / 3, 3333}, Conversion{2.0 / 3, 6667}, Conversion{0, 0},
                    Conversion{-0.0, 0}, Conversion{900000000000000.0, 9000000000000000000},
                    // Typed halves whose doubles lie a hair above the half.
                    Conversion{0.00005, 0}, Conversion{-0.00005, 0}, Conversion{1234.56785, 12345678},
                    // Beyond 2^53 ten-thousandths a product taken in double arithmetic rounds again.
                    Conversion{922337203685477.0, 9223372036854770000},
                    Conversion{900000000000000.125, 9000000000000001250},
                    Conversion{-922337203685477.5, -9223372036854775000}));

TEST(Currency, RefusesWhatItCannotHold)
{
    EXPECT_FALSE(Currency::FromDouble(922337203685477.6));  // rounds to 2^63
    EXPECT_FALSE(Currency::FromDouble(-922337203685478.0));
    EXPECT_FALSE(Currency::FromDouble(1e300));
    EXPECT_FALSE(Currency::FromDouble(HUGE_VAL));
    EXPECT_FALSE(Currency::FromDouble(-HUGE_VAL));
    EXPECT_FALSE(Currency::FromDouble(std::numeric_limits<double>::quiet_NaN()));
    // -922337203685477.5808 is no double; the nearest one, ...477.625, lies
    // below the range (the lowest amount a double reaches is ...477.5).
    EXPECT_FALSE(Currency::FromDouble(-922337203685477.5808));
}

TEST(Currency, SaturatesOnlyWhenAsked)
{
    EXPECT_EQ(Currency::FromDoubleSaturated(1e300).tenThousandths, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Currency::FromDoubleSaturated(-1e300).tenThousandths, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Currency::FromDoubleSaturated(2.5).tenThousandths, 25000);
}

TEST(Currency, AddsExactlyAndRefusesOverflow)
{
    const Currency tenth{1000};
    Currency sum{};
    for (int i = 0; i < 10; ++i)
        sum = *Currency::Add(sum, tenth);
    EXPECT_EQ(sum, Currency{10000}); // no binary drift: ten tenths make one
    EXPECT_EQ(sum.ToDouble(), 1.0);

    const Currency max{std::numeric_limits<std::int64_t>::max()};
    EXPECT_FALSE(Currency::Add(max, Currency{1}));
    EXPECT_EQ(*Currency::Add(max, Currency{-1}), Currency{max.tenThousandths - 1});
    const Currency min{std::numeric_limits<std::int64_t>::min()};
    EXPECT_FALSE(Currency::Add(min, Currency{-1}));
}

TEST(Currency, OrdersByValue)
{
    EXPECT_LT(Currency{-1}, Currency{0});
    EXPECT_GT(Currency{13333}, Currency{13332});
    EXPECT_EQ(*Currency::FromDouble(1.0 / 3 * 4), Currency{13333});
}

} // namespace
