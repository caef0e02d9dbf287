#pragma once

// Prints on the system's default printer: it records the report, lays it out
// into a temporary PDF on the default printer's paper, and decides with the
// print service what becomes of it and what the operator is told. CUPS takes
// the PDF itself, the Windows spooler has the same pages drawn for it; with
// no printer chosen, the PDF is saved in Documents instead (SaveInDocuments.h).
// The words are in OperatorWords.h, the conversation with the service in
// PrintService.h, and how the window waits meanwhile in WhileWindowWaits.h.
//
// On Linux the job goes through libcups directly rather than through
// QPrinter's native output, because Qt's CUPS engine reports success even
// for jobs the queue refused.

#include "PagePrinter.h"
#include "PrintService.h"
#include "Printer.h"
#include "WhileWindowWaits.h"

#include <QDeadlineTimer>
#include <QList>
#include <QPageSize>
#include <QString>

#include <memory>
#include <vector>

class TemporaryReportFolder;

class DefaultPrinter : public Printer
{
public:
    // open: how to reach the print service; the system's by default.
    explicit DefaultPrinter(PrintServiceOpener open = OpenPrintService);
    ~DefaultPrinter() override;

    DefaultPrinter(const DefaultPrinter &) = delete;
    DefaultPrinter &operator=(const DefaultPrinter &) = delete;

    // The first output of a report first asks the print service for the
    // paper (AskPaperAsReportBegins): where each item ends depends on it.
    double PrintAt(double column, const QString &text) override;
    void NewLine() override;
    // Hands the report to the print service (SubmitToDefaultPrinter).
    PrintResult EndDoc(const QString &jobName) override;

private:
    // One call of PrintAt, or a NewLine where text is empty and column NaN.
    struct Step
    {
        double column;
        QString text;
    };

    // Before a report's first output: the busy pointer, the temporary
    // folder, and the paper, which may wait on the print service.
    void AskPaperAsReportBegins();
    QPageSize AskPaper();
    // The recorded report, to be drawn again on whichever thread prints it.
    LaidOutReport RecordedReport(const QString &jobName);

    // The steps of handing a report over, on the worker thread; each may wait
    // on the print service.
    PrintResult SubmitToDefaultPrinter(const LaidOutReport &report);
    PrintResult SaveWhenNoneChosen(PrintService &service, const LaidOutReport &report) const;
    void SettleUnconfirmedJobs(PrintService &service);
    PrintResult SubmitJob(PrintService &service, const Destination &printer, const LaidOutReport &report);
    void CancelHalfMadeJob(PrintService &service, const JobRef &job);
    // How long a service opened now may be asked, leaving time to cancel.
    QDeadlineTimer ServiceDeadline() const;

    PrintServiceOpener m_openService;
    PagePrinter m_page;
    BusyPointer m_busy;
    // The current report's, from its first output to its end. The worker
    // thread reads and writes these while the window's thread waits
    // (WhileWindowWaits.h says why that needs no lock).
    std::vector<Step> m_steps; // to draw it again on a printer
    std::unique_ptr<TemporaryReportFolder> m_folder;
    QPageSize m_paper;
    QDeadlineTimer m_deadline;
    Trouble m_silence; // what left the paper lookup unanswered
    // Across reports: jobs the service never confirmed.
    QList<JobRef> m_unfinishedJobs;
};
