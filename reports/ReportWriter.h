#pragma once

// Lays report lines out in print zones and frames every report: the no-data
// guard before anything is printed, the heading at the top, and EndDoc at
// the end. The three reports in Reports.h are built from these pieces.

#include "Currency.h"
#include "Printer.h"

#include <QString>

#include <vector>

class QWidget;

enum class Separator {
    Zone,      // on to the start of the next zone to the right
    Join,      // stay directly after the item
    EndOfLine, // finish the line
};

struct PrintItem
{
    QString text;
    Separator separator;
};

inline constexpr int ZoneWidth = 14;

// A stored number as a report prints it: a sign position (blank or minus),
// the shortest general form with up to 15 significant digits, and a blank.
QString FormatNumber(double value);

// A fraction as a percentage with one decimal and the regional settings'
// symbols; computed from the exact four-decimal amount, halves rounded away
// from zero.
QString FormatPercent(Currency fraction);

PrintItem Text(const QString &text, Separator separator);
PrintItem Number(double value, Separator separator);

class ReportWriter
{
public:
    explicit ReportWriter(Printer &printer);

    // Prints the items in order, each followed by its separator. A line left
    // open by a zone or join separator is continued by the next statement.
    void PrintStatement(const std::vector<PrintItem> &items);
    void PrintBlankLine();

    // The title also names the print job.
    void ReportHeading(const QString &title);

    // Ends the print document: everything since it began becomes one job.
    PrintResult EndDoc();

private:
    Printer &m_printer;
    double m_column = 1;
    QString m_jobName;
};

// With no household entered, tells the operator so and returns false; the
// report then prints nothing.
bool NoDataGuard(QWidget *parent);
