#pragma once

// The conversation with the CUPS print service: a connection of our own with
// one deadline for everything asked over it, the default destination and its
// paper, the printers there are, handing a PDF over as a job, and cancelling
// one. It only answers what happened; DefaultPrinter decides what to do and
// say about it.
//
// Every call blocks until the service answers or the deadline passes, so
// DefaultPrinter makes them off the window's thread. libcups keeps its last
// error per thread: one PrintService is used on one thread only.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include <cups/cups.h>

#include <memory>
#include <optional>

struct FreeDest
{
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
};
using DestPtr = std::unique_ptr<cups_dest_t, FreeDest>;

// "queue" or "queue/instance", as lp names it.
QString NameOf(const cups_dest_t *dest);
QString OptionOf(const cups_dest_t *dest, const char *name);

// Why something asked of the service did not happen.
struct Trouble
{
    enum class Kind {
        None,
        Silent,         // the deadline passed with a question unanswered
        BrokenOff,      // the connection failed; words are the system's
        Refused,        // the service said no; status and words are its own
        FileUnreadable, // the PDF to hand over could not be read
    };
    Kind kind = Kind::None;
    ipp_status_t status = IPP_STATUS_OK;
    QString words;
};

// A job as far as it got.
struct Handover
{
    int jobId = 0;          // the spooler's id, once it made the job
    bool whole = false;     // every byte of the document went over
    Trouble trouble;        // None when the service confirmed the job
};

class PrintService
{
public:
    // Connects at once (honouring CUPS_SERVER and client.conf as lp does);
    // nothing is asked after the deadline.
    explicit PrintService(QDeadlineTimer deadline);
    ~PrintService();
    PrintService(const PrintService &) = delete;
    PrintService &operator=(const PrintService &) = delete;

    // False when the service could not be reached at all.
    bool Reached() const { return m_http != nullptr; }

    // True once the deadline passed with a question unanswered; everything
    // asked since then has failed at once.
    bool GaveUp() const { return m_gaveUp; }

    // The destination lp would print on (PRINTER, LPDEST, lpoptions, then
    // the service's default); null when there is none or no answer.
    DestPtr DefaultDestination();

    // The paper the default destination is loaded with by default; an
    // invalid size when that cannot be learnt.
    QPageSize DefaultPaper();

    // Asks about one printer by name, or with an empty name about the
    // service's default, and answers the service's status.
    ipp_status_t Ask(const QString &printer);

    // The names of every printer and class the service has, in its order.
    QStringList Printers();

    Handover Submit(cups_dest_t *dest, const QString &pdf, const QString &jobName);

    // How many documents the service holds for a job: 0 for one that never
    // got the whole of its document; empty when there was no answer.
    std::optional<int> DocumentsOf(int jobId);

    // Cancels a job over a connection of its own, as the one that made it may
    // be stuck mid-request; false when the service did not answer.
    static bool Cancel(const QByteArray &queue, int jobId, QDeadlineTimer deadline);

    // What went wrong with the last question, for when it did.
    Trouble LastTrouble() const;

private:
    static int KeepWaiting(http_t *, void *service);

    QDeadlineTimer m_deadline;
    http_t *m_http = nullptr;
    bool m_gaveUp = false;
};
