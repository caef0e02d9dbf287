#pragma once

// The one way out to paper. Every report writes its lines through a Printer:
// DefaultPrinter puts them on the system's default printer, PagePrinter
// lays them out in a PDF file (DefaultPrinter prints through one), and tests
// use a capture that records each line with its columns.

#include <QString>

struct PrintResult
{
    enum class Status {
        Printed,     // the spooler accepted the job; for a PDF file, the file is written
        SavedToFile, // there is no default printer; file is where it went
        Unconfirmed, // the spooler has the whole job but never said it took it
        Cancelled,   // the operator cancelled it (where the driver asked where to save it)
        Failed,      // nothing will print
    };
    Status status = Status::Printed;
    QString detail; // what to tell the operator, whole
    QString file;
};

class Printer
{
public:
    virtual ~Printer() = default;

    // Prints text with its left edge at column (1 is the left margin; a
    // column is the width of one character of the printer's fixed-pitch font)
    // on the current line, and answers the column directly after its last character
    // as laid out on the paper. The first output after EndDoc begins a new
    // document.
    virtual double PrintAt(double column, const QString &text) = 0;

    // Finishes the current line; the next output starts on a new line.
    virtual void NewLine() = 0;

    // Ends the document and sends everything since it began as one job
    // named jobName.
    virtual PrintResult EndDoc(const QString &jobName) = 0;
};
