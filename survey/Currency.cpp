#include "Currency.h"

#include <cmath>

std::optional<Currency> Currency::FromDouble(double value)
{
    // Rounded from the double's exact value. Multiplying by 10000 in double
    // arithmetic first would round again above 2^53 ten-thousandths (about
    // 900 billion), and a typed 922337203685477 would be held as
    // 922337203685476.9664.
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
