#include "Currency.h"

#include <cmath>

std::optional<Currency> Currency::FromDouble(double value)
{
    // Times 10000 in double arithmetic, then to the nearest whole, halves to
    // even: a typed half like 0.00005 then lands on the even neighbour as
    // the operator means, though the double itself lies a hair above it.
    const double product = value * 10000.0;
    if (std::fabs(product) < 0x1p53)
        return Currency{static_cast<std::int64_t>(std::nearbyint(product))};
    // Beyond 2^53 ten-thousandths (about 900 billion) that product would be
    // rounded again, and a typed 922337203685477 held as ...476.9664; a double
    // that large has no digits past the fourth decimal, so round its exact
    // value instead.
    __extension__ using Wide = __int128;
    if (!std::isfinite(value))
        return std::nullopt;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    // |value| = mantissa * 2^(exponent - 53), with a whole mantissa below 2^53.
    const auto mantissa = static_cast<std::int64_t>(std::ldexp(fraction, 53));
    const int drop = 53 - exponent;
    if (drop <= 0)
        return std::nullopt; // 2^52 and more: far beyond the range
    const Wide scaled = static_cast<Wide>(mantissa) * 10000; // below 2^67
    Wide magnitude = 0;
    if (drop < 68) { // further down, less than half a ten-thousandth
        magnitude = scaled >> drop;
        const Wide rest = scaled - (magnitude << drop);
        const Wide half = Wide{1} << (drop - 1);
        if (rest > half || (rest == half && (magnitude & 1) != 0))
            ++magnitude;
    }
    const Wide rounded = value < 0 ? -magnitude : magnitude;
    if (rounded < INT64_MIN || rounded > INT64_MAX)
        return std::nullopt;
    return Currency{static_cast<std::int64_t>(rounded)};
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
