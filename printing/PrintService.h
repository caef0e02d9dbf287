#pragma once

// The conversation with the system's print service, in the program's own
// terms: the default printer and its state, the printers there are, the
// paper the default printer is loaded with, handing a laid-out report over
// as a named job, and cancelling a job. Each platform has its own:
// CupsPrintService.cpp (libcups) and WindowsPrintService.cpp (the Windows
// spooler); the build picks one. It only answers what happened;
// DefaultPrinter decides what to do and say about it.
//
// Every call blocks until the service answers or the deadline given when it
// was opened passes; WhileWindowWaits.h says on which thread it is made.

#include <QDeadlineTimer>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QPagedPaintDevice;

// What kept something asked of the service from happening.
struct Trouble
{
    enum class Kind {
        None,
        Silent,            // the deadline passed with a question unanswered
        NotRunning,        // nothing answers where the service should be
        ServerUnreachable, // the print server the printer is on does not answer; words: its name
        BrokenOff,         // the connection failed; words are the system's
        NotAccepting,      // the printer takes no jobs now
        Refused,           // the service said no, in its own words
        Cancelled,         // the operator cancelled what the printer's driver asked (where to save, say)
        FileUnreadable,    // the laid-out report could not be read
    };
    Kind kind = Kind::None;
    QString words;
};

struct Destination
{
    // What keeps a printer from printing a job now. A job sent anyway would
    // wait in the queue and come out whenever someone puts it right.
    enum class State { Ready, NotAccepting, Stopped, Paused, Offline, InError, NotAvailable };

    QString name; // as the operator knows it: "office", "office/draft"
    State state = State::Ready;
    int waiting = 0; // jobs already in its queue
};

// The default printer, or why there is none.
struct DefaultDestination
{
    enum class Outcome {
        Found,      // destination is the default printer
        NoneChosen, // there is none; what printers there are is asked separately
        Gone,       // the user's own choice names a printer the service lacks: destination.name
        Failed,     // trouble kept the service from telling
    };

    Outcome outcome = Outcome::Found;
    Trouble trouble; // for Failed
    Destination destination;
    // For Gone: where the choice was made, in the service's words, as they
    // follow "set": "by the PRINTER environment variable".
    QString setWhere;
};

// A report ready to print: its pages as a PDF file, and the same pages drawn
// on any paged device, for a service that prints by drawing.
struct LaidOutReport
{
    QString jobName;
    QString pdf;
    std::function<bool(QPagedPaintDevice *device)> draw;
};

// A job as far as the service took it.
struct SubmittedJob
{
    int jobId = 0;      // the spooler's id, once it made the job
    bool whole = false; // every byte of the document went over
    Trouble trouble;    // None when the service confirmed the job
};

struct JobRef
{
    QString printer;
    int id = 0;
};

class PrintService
{
public:
    virtual ~PrintService() = default;

    // False when the service could not be reached at all.
    virtual bool Reached() const = 0;

    // None while every question has been answered. Once the deadline passed
    // with one unanswered: Silent, or ServerUnreachable when it was a print
    // server that kept silent; everything asked since then fails at once.
    virtual Trouble Silence() const = 0;

    virtual DefaultDestination Default() = 0;

    // The paper the default printer is loaded with by default; an invalid
    // size when that cannot be learnt.
    virtual QPageSize DefaultPaper() = 0;

    // The names of every printer the service has, in its order.
    virtual QStringList Printers() = 0;

    virtual SubmittedJob SubmitJob(const Destination &destination, const LaidOutReport &report) = 0;

    // Whether a job the service never confirmed has the whole of its
    // document (so it prints, or has); empty when there was no answer.
    virtual std::optional<bool> IsWhole(const JobRef &job) = 0;

    // Cancels a job, by its own deadline; false when the service did not
    // answer.
    virtual bool Cancel(const JobRef &job, QDeadlineTimer deadline) = 0;

    // Where a user makes printer the default here, in the service's words,
    // as they follow "make it the default printer": "in Settings, ...".
    virtual QString WhereToChoose(const QString &printer) const = 0;
};

using PrintServiceOpener = std::function<std::unique_ptr<PrintService>(QDeadlineTimer deadline)>;

// The system's print service; connects at once, and asks nothing after the
// deadline.
std::unique_ptr<PrintService> OpenPrintService(QDeadlineTimer deadline);
