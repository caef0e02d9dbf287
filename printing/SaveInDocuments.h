#pragma once

// Where a report goes when no printer is chosen as the default: a PDF file
// in the user's Documents folder, named after the report and the time, and
// the operator told where it is and how to choose a printer.

#include "Printer.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// Copies the laid-out report's pdf into Documents. printers: those set up,
// none of them chosen as the default; whereToChoose: the print service's
// words for where a default printer is chosen.
PrintResult SaveInDocuments(const QString &pdf, const QString &jobName, const QStringList &printers,
                            const QString &whereToChoose);

// Where a document named jobName is saved in folder: "<jobName> yyyy-MM-dd
// HH.mm.ss.pdf", with " (2)", " (3)" ... added before ".pdf" while such a file
// exists already.
QString SavePathFor(const QString &folder, const QString &jobName, const QDateTime &when);
