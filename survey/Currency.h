#pragma once

// Money held as a whole number of ten-thousandths, so totals add up exactly
// and every amount carries four decimals.

#include <cstdint>
#include <optional>

struct Currency
{
    std::int64_t tenThousandths = 0;

    // The double times 10000 in double arithmetic, rounded to the nearest
    // whole with halves to even, so a typed 0.00005 gives 0. Beyond 2^53
    // ten-thousandths, where that product would be rounded twice, the
    // double's exact value is rounded instead.
    // Empty when the amount lies outside the 64-bit range (or is not finite).
    static std::optional<Currency> FromDouble(double value);

    double ToDouble() const { return static_cast<double>(tenThousandths) / 10000.0; }

    // As FromDouble, but an amount beyond the range gives the nearest end of
    // it. For figures that lie between stored amounts, such as an average.
    static Currency FromDoubleSaturated(double value);

    // Empty when the sum would leave the 64-bit range.
    static std::optional<Currency> Add(Currency a, Currency b);

    friend bool operator==(Currency, Currency) = default;
    friend bool operator<(Currency a, Currency b) { return a.tenThousandths < b.tenThousandths; }
    friend bool operator>(Currency a, Currency b) { return b < a; }
};
