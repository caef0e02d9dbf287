#pragma once

// What the operator is told when a report does not go to the printer as it
// should, in the program's own words: one function for each kind of trouble.
// The print service's units add only the words that are theirs alone, such
// as where a default printer is chosen.

#include "PrintService.h"

#include <QString>
#include <QStringList>

// "The report could not be printed because <because>."
QString NotPrinted(const QString &because);

// The print service does not answer, or is not running.
QString NoAnswer();
QString NotRunning();

// What kept the service from doing what was asked; printer names the printer
// where the trouble is its own.
QString TroubleWords(const Trouble &trouble, const QString &printer);

// Why a printer cannot take a job now (stopped, paused, offline, in error, not
// available), with the jobs already waiting on it; empty when it is ready.
QString WhyNotReady(const Destination &printer);

// Why no default printer could be printed on, for anything but NoneChosen.
QString WhyNoDefault(const DefaultDestination &answer);

// How to print on one of printers, for someone who has chosen none: a few of
// their names, and whereToChoose, the service's words for where it is done.
QString HowToChoose(const QStringList &printers, const QString &whereToChoose);

// The service took the job as jobId.
QString SentAsJob(const QString &printer, int jobId);

// The whole report went over, but the service never said it took it; jobId
// is 0 when the service had not told it yet.
QString NotConfirmed(const QString &printer, int jobId);
