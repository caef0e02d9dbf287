#pragma once

// The survey: every household entered so far, how many there are, and the
// running total of their incomes. Program-wide state, one instance each,
// written only by AddHousehold (called by the data-entry window) and read by
// the statistics and the reports. Rows are only ever appended.

#include "Currency.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct HouseholdRecord
{
    std::string ID;        // exactly as typed, blanks included
    double Income = 0;     // ReadNumber of the typed income
    double NumPersons = 0; // ReadNumber of the typed size, not rounded
};

inline constexpr int MaxHouseholds = 41;

extern std::array<HouseholdRecord, MaxHouseholds> Households;
extern std::int16_t HouseholdCount;
extern Currency TotalIncome;

enum class AddResult {
    Added,
    TableFull,        // all MaxHouseholds rows are in use
    IncomeOutOfRange, // the income cannot be held as Currency
    TotalOutOfRange,  // the income would carry TotalIncome out of range
    SizeNotFinite,    // the household size is beyond a double
};

// Appends one household, or refuses it and changes nothing.
AddResult AddHousehold(std::string_view idText, std::string_view incomeText,
                       std::string_view numPersonsText);
