#include "Households.h"

#include "ReadNumber.h"

#include <cmath>

std::array<HouseholdRecord, MaxHouseholds> Households;
std::int16_t HouseholdCount = 0;
Currency TotalIncome;

AddResult AddHousehold(std::string_view idText, std::string_view incomeText,
                       std::string_view numPersonsText)
{
    const int i = HouseholdCount;
    if (i >= MaxHouseholds)
        return AddResult::TableFull;

    const double income = ReadNumber(incomeText);
    const double numPersons = ReadNumber(numPersonsText);
    // Everything is checked before anything is written, so a refused
    // household leaves the survey exactly as it was.
    const auto incomeAmount = Currency::FromDouble(income);
    if (!incomeAmount)
        return AddResult::IncomeOutOfRange;
    const auto total = Currency::Add(TotalIncome, *incomeAmount);
    if (!total)
        return AddResult::TotalOutOfRange;
    if (!std::isfinite(numPersons))
        return AddResult::SizeNotFinite;

    Households[i] = HouseholdRecord{std::string(idText), income, numPersons};
    TotalIncome = *total;
    HouseholdCount = static_cast<std::int16_t>(i + 1);
    return AddResult::Added;
}
