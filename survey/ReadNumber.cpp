#include "ReadNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// from_chars reports a value beyond the double range without giving it, so
// tell overflow from underflow by the magnitude the digits describe.
double OutOfRange(std::string_view number)
{
    bool negative = false;
    std::size_t i = 0;
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
        negative = number[i++] == '-';

    long long magnitude = 0; // position of the first significant digit
    bool significant = false;
    bool afterPoint = false;
    long long leadingFractionZeros = 0;
    for (; i < number.size() && (IsDigit(number[i]) || number[i] == '.'); ++i) {
        if (number[i] == '.') {
            afterPoint = true;
        } else if (!significant && number[i] == '0') {
            if (afterPoint)
                ++leadingFractionZeros;
        } else if (!afterPoint) {
            significant = true;
            ++magnitude;
        } else if (!significant) {
            significant = true;
            magnitude = -leadingFractionZeros;
        }
    }
    long long exponent = 0;
    if (i < number.size()) { // the exponent part: E, optional sign, digits
        ++i;
        bool negativeExponent = false;
        if (number[i] == '+' || number[i] == '-')
            negativeExponent = number[i++] == '-';
        for (; i < number.size(); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
        if (negativeExponent)
            exponent = -exponent;
    }
    const bool overflow = significant && magnitude + exponent > 0;
    const double result = overflow ? HUGE_VAL : 0.0;
    return negative ? -result : result;
}

} // namespace

double ReadNumber(std::string_view text)
{
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            s.push_back(c);
    }

    // Find the longest leading part of the form [sign] digits[.digits] [E[sign]digits].
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) { ++i; ++digits; }
    if (i < s.size() && s[i] == '.') {
        std::size_t j = i + 1;
        std::size_t fractionDigits = 0;
        while (j < s.size() && IsDigit(s[j])) { ++j; ++fractionDigits; }
        // A lone point is no part of a number.
        if (digits + fractionDigits > 0) {
            i = j;
            digits += fractionDigits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        const std::size_t exponentDigitsStart = j;
        while (j < s.size() && IsDigit(s[j]))
            ++j;
        if (j > exponentDigitsStart)
            i = j;
    }

    // from_chars takes no plus sign; it is locale-independent, unlike strtod.
    const std::string_view number(s.data(), i);
    const bool negative = s[0] == '-';
    double value = 0.0;
    const auto [end, error] = std::from_chars(s.data() + mantissaStart, s.data() + i, value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        return OutOfRange(number);
    return negative ? -value : value;
}
