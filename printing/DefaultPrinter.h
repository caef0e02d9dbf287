#pragma once

// Prints on the system's default printer: the pages are laid out into a
// temporary PDF, which goes to the default CUPS destination as one job. With
// no printer set up at all, the PDF is kept in the user's documents folder
// instead.
//
// The job goes through libcups directly rather than through QPrinter's
// native output, because Qt's CUPS engine reports success even for jobs the
// queue refused. Every question to the print service has a deadline, so a
// service that has stopped answering costs a report seconds, not minutes.

#include "PagePrinter.h"
#include "Printer.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

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
    PrintResult Send(const QString &pdf, const QString &jobName);
    PrintResult Save(const QString &pdf, const QString &jobName) const;

    PagePrinter m_page;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_tempProblem; // why no temporary file could be made, as a sentence
    bool m_spoolerSilent = false; // the print service left this document's paper lookup unanswered
    QList<std::pair<QByteArray, int>> m_unfinishedJobs; // queue and id of jobs to cancel once the service answers
    int m_lastJobId = 0;
};
