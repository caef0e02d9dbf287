#include "Currency.h"

#include <cmath>

std::optional<Currency> Currency::FromDouble(double value)
{
    // std::nearbyint follows the current rounding mode; the program never
    // changes it from round-to-nearest-even, which is the rule wanted here.
    const double scaled = std::nearbyint(value * 10000.0);
    // 2^63 is exactly representable; the valid range is [-2^63, 2^63).
    constexpr double limit = 9223372036854775808.0;
    if (!(scaled >= -limit && scaled < limit))
        return std::nullopt;
    return Currency{static_cast<std::int64_t>(scaled)};
}

Currency Currency::FromDoubleSaturated(double value)
{
    if (const auto exact = FromDouble(value))
        return *exact;
    if (std::isnan(value))
        return Currency{};
    return Currency{value < 0 ? INT64_MIN : INT64_MAX};
}

std::optional<Currency> Currency::Add(Currency a, Currency b)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a.tenThousandths, b.tenThousandths, &sum))
        return std::nullopt;
    return Currency{sum};
}
