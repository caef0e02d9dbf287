#pragma once

#include "Households.h"

// Each test starts from the survey the program starts with: no households.
inline void StartEmptySurvey()
{
    Households = {};
    HouseholdCount = 0;
    TotalIncome = Currency{};
}
