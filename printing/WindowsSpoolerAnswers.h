#pragma once

// What the Windows spooler's and the printer driver's answers mean in the
// print service's terms. Built on Windows only; its tests feed these the
// answers a spooler on Wine cannot give.

#include "PrintService.h"

#include <vector>

#include <windows.h>

// Not in every SDK's headers: the printer's print server is offline.
#ifndef PRINTER_STATUS_SERVER_OFFLINE
#define PRINTER_STATUS_SERVER_OFFLINE 0x02000000
#endif

// A printer's PRINTER_INFO_2 Status and Attributes, and the JOB_INFO_1
// Status of each job in its queue. A network printer that is switched off
// often reports itself ready, while the spooler holds its jobs as offline or
// in error.
Destination::State StateOf(DWORD status, DWORD attributes, const std::vector<DWORD> &jobs = {});

// Why a spooler call about printer failed, from its GetLastError(). A printer
// on a print server ("\\server\queue") whose server cannot be reached is
// told as such, not as this computer's spooler failing.
Trouble TroubleOf(DWORD error, const QString &printer = QString());

// The print server a printer connection is on ("server" for
// "\\server\queue"), or empty for a printer of this computer.
QString ServerOf(const QString &printer);

// What the printer driver answered to the document's own calls (StartDoc,
// StartPage, EndPage, EndDoc), each read as it was made.
struct DocumentCalls
{
    int jobId = 0;               // StartDoc's answer: the spooler's id for the job
    DWORD error = ERROR_SUCCESS; // the first of them that failed, and why
};

// The trouble with a document whose calls went so; None when all succeeded.
// The operator cancelling what the driver asked (where to save the file) is
// Cancelled, not a failure of the printer.
Trouble TroubleOf(const DocumentCalls &calls);

// Where a Windows user makes a printer the default, as it follows "make it
// the default printer".
QString WhereDefaultIsChosen();
