#pragma once

// Prints on the system's default printer: the pages are laid out into a
// temporary PDF, which goes to the default CUPS destination as one job. With
// no default printer, the PDF is kept in the user's documents folder instead.
// This is where it is decided what to do and what to tell the operator;
// PrintService holds the conversation with the print service.
//
// The job goes through libcups directly rather than through QPrinter's
// native output, because Qt's CUPS engine reports success even for jobs the
// queue refused. The print service is asked off the window's thread, against
// one deadline for the whole report, and meanwhile the window goes on
// painting under a busy pointer but takes no command.

#include "PagePrinter.h"
#include "Printer.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

class QTemporaryDir;

class DefaultPrinter : public Printer
{
public:
    DefaultPrinter();
    ~DefaultPrinter() override;

    DefaultPrinter(const DefaultPrinter &) = delete;
    DefaultPrinter &operator=(const DefaultPrinter &) = delete;

    double ColumnsOf(const QString &text) override;
    double PrintAt(double column, const QString &text) override;
    void NewLine() override;
    PrintResult EndDoc(const QString &jobName) override;

    // The spooler's id for the last job it accepted from this printer, 0 if none.
    int LastJobId() const { return m_lastJobId; }

    // Where a document named jobName is saved in folder when there is no
    // printer: "<jobName> yyyy-MM-dd HH.mm.ss.pdf", with " (2)", " (3)" ...
    // added before ".pdf" while such a file exists already.
    static QString SavePathFor(const QString &folder, const QString &jobName, const QDateTime &when);

private:
    void Prepare();
    // Runs off the window's thread.
    PrintResult HandOver(const QString &pdf, const QString &jobName);
    // printers: those set up, none of them chosen as the default.
    PrintResult Save(const QString &pdf, const QString &jobName, const QStringList &printers) const;

    PagePrinter m_page;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_tempProblem; // why no temporary file could be made, as a sentence
    QDeadlineTimer m_deadline; // the current report's, set as it begins
    bool m_busy = false; // the busy pointer is shown for the current report
    bool m_spoolerSilent = false; // the print service left this document's paper lookup unanswered
    QList<std::pair<QByteArray, int>> m_unfinishedJobs; // queue and id of jobs the service never confirmed
    int m_lastJobId = 0;
};
