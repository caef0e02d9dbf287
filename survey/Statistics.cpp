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
    // Divided exactly, halves to even: through a double the total loses its
    // last digits beyond 2^53 ten-thousandths, and twelve equal incomes of
    // 13756968475898.486 averaged below every one of them.
    const std::int64_t count = HouseholdCount;
    std::int64_t quotient = TotalIncome.tenThousandths / count;
    std::int64_t rest = TotalIncome.tenThousandths % count;
    if (rest < 0) {
        --quotient;
        rest += count;
    }
    if (2 * rest > count || (2 * rest == count && quotient % 2 != 0))
        ++quotient;
    return Currency{quotient};
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
