#pragma once

// What the Windows spooler's answers mean in the print service's terms.
// Built on Windows only, by WindowsPrintService.cpp, whose tests feed these
// the answers a spooler on Wine cannot give.

#include "PrintService.h"

#include <windows.h>

// A printer's PRINTER_INFO_2 Status and Attributes.
Destination::State StateOf(DWORD status, DWORD attributes);

// Why a spooler call failed, from its GetLastError().
Trouble TroubleOf(DWORD error);
