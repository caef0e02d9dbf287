#pragma once

#include <string_view>

// Reads the number at the start of typed text and never fails.
// Blanks, tabs and line feeds are ignored wherever they stand; then an
// optional sign, digits with an optional decimal point, and an optional
// exponent (E or e) are read up to the first character that cannot continue
// them. The decimal separator is always the point. Text with no digit there
// reads as 0; a magnitude beyond a double reads as an infinity.
double ReadNumber(std::string_view text);
