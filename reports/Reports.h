#pragma once

// The three printed reports, one print document each. Each reads the survey
// and never changes it. With no household entered a report tells the
// operator so and prints nothing (empty result).

#include "Printer.h"

#include <optional>

class QWidget;

std::optional<PrintResult> PrintDataListing(Printer &printer, QWidget *parent);
std::optional<PrintResult> PrintAboveAverage(Printer &printer, QWidget *parent);
std::optional<PrintResult> PrintPovertySummary(Printer &printer, QWidget *parent);
