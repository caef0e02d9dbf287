#pragma once

// Prints on the system's default printer: the pages are laid out into a
// temporary PDF, which the print service gets as one job (CUPS takes the PDF
// itself, the Windows spooler has the same pages drawn for it). With no
// printer, the PDF is kept in the user's documents folder instead. This is
// where it is decided what to do and what to tell the operator; PrintService
// holds the conversation with the print service.
//
// On Linux the job goes through libcups directly rather than through
// QPrinter's native output, because Qt's CUPS engine reports success even
// for jobs the queue refused. The print service is asked off the window's
// thread, against one deadline for the whole report, and meanwhile the
// window goes on painting under a busy pointer but takes no command.

#include "PagePrinter.h"
#include "PrintService.h"
#include "Printer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTemporaryDir;

class DefaultPrinter : public Printer
{
public:
    // open: how to reach the print service; the system's by default.
    explicit DefaultPrinter(PrintServiceOpener open = OpenPrintService);
    ~DefaultPrinter() override;

    DefaultPrinter(const DefaultPrinter &) = delete;
    DefaultPrinter &operator=(const DefaultPrinter &) = delete;

    double PrintAt(double column, const QString &text) override;
    void NewLine() override;
    PrintResult EndDoc(const QString &jobName) override;

    // Where a document named jobName is saved in folder when there is no
    // printer: "<jobName> yyyy-MM-dd HH.mm.ss.pdf", with " (2)", " (3)" ...
    // added before ".pdf" while such a file exists already.
    static QString SavePathFor(const QString &folder, const QString &jobName, const QDateTime &when);

private:
    // One call of PrintAt, or a NewLine where text is empty and column NaN.
    struct Step
    {
        double column;
        QString text;
    };

    void Prepare();
    // Runs off the window's thread.
    PrintResult HandOver(const LaidOutReport &report);
    // printers: those set up, none of them chosen as the default.
    PrintResult Save(const LaidOutReport &report, const QStringList &printers, const QString &command) const;

    PrintServiceOpener m_openService;
    PagePrinter m_page;
    QPageSize m_paper;         // the current report's
    std::vector<Step> m_steps; // the current report, to draw again on a printer
    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_tempProblem; // why no temporary file could be made, as a sentence
    QDeadlineTimer m_deadline; // the current report's, set as it begins
    bool m_busy = false; // the busy pointer is shown for the current report
    Trouble m_silence; // what left this document's paper lookup unanswered
    QList<JobRef> m_unfinishedJobs; // jobs the service never confirmed
};
