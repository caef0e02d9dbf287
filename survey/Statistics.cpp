#include "Statistics.h"

namespace {

constexpr double FlatPovertyLimit = 8000;

// Stored incomes always fit in Currency; saturating only guards the rule.
Currency IncomeAsCurrency(const HouseholdRecord &record)
{
    return Currency::FromDoubleSaturated(record.Income);
}

} // namespace

Currency AverageIncome()
{
    // The total over the count in double arithmetic, as the figure has always
    // been worked out. Beyond 2^53 ten-thousandths the double loses the
    // total's last digits, and twelve equal incomes of 13756968475898.486
    // averaged below every one of them; where the double lands further off
    // than the ten-thousandths either side of the true mean, divide exactly
    // instead, halves to even.
    const std::int64_t count = HouseholdCount;
    const Currency byDouble = Currency::FromDoubleSaturated(TotalIncome.ToDouble() / static_cast<double>(count));
    std::int64_t below = TotalIncome.tenThousandths / count; // rounded towards zero
    std::int64_t rest = TotalIncome.tenThousandths % count;
    if (rest < 0) {
        --below;
        rest += count;
    }
    const std::int64_t above = rest == 0 ? below : below + 1;
    if (byDouble.tenThousandths == below || byDouble.tenThousandths == above)
        return byDouble;
    if (2 * rest > count || (2 * rest == count && below % 2 != 0))
        ++below;
    return Currency{below};
}

bool IsAboveAverage(const HouseholdRecord &record, Currency average)
{
    return IncomeAsCurrency(record) > average;
}

std::optional<Currency> PovertyThreshold(double numPersons)
{
    return Currency::FromDouble((numPersons - 2) * 2000 + FlatPovertyLimit);
}

bool IsBelowPoverty(const HouseholdRecord &record)
{
    if (record.NumPersons <= 2)
        return record.Income < FlatPovertyLimit;
    const auto threshold = PovertyThreshold(record.NumPersons);
    // A limit too large to hold is above every income that can be stored.
    if (!threshold)
        return true;
    return IncomeAsCurrency(record) < *threshold;
}

std::int16_t BelowPovertyCount()
{
    std::int16_t count = 0;
    for (int i = 0; i < HouseholdCount; ++i) {
        if (IsBelowPoverty(Households[i]))
            ++count;
    }
    return count;
}

Currency BelowPovertyFraction()
{
    return Currency::FromDoubleSaturated(static_cast<double>(BelowPovertyCount())
                                         / static_cast<double>(HouseholdCount));
}
