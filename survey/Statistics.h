#pragma once

// Figures the reports print or select by, computed afresh from the survey
// each time. Callers make sure at least one household has been entered.

#include "Currency.h"
#include "Households.h"

#include <cstdint>
#include <optional>

Currency AverageIncome();
bool IsAboveAverage(const HouseholdRecord &record, Currency average);

// The poverty limit for a household of more than two persons; empty when it
// lies beyond what Currency can hold.
std::optional<Currency> PovertyThreshold(double numPersons);
bool IsBelowPoverty(const HouseholdRecord &record);

std::int16_t BelowPovertyCount();
Currency BelowPovertyFraction();
