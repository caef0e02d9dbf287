#include "DefaultPrinter.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// How long a report may keep the operator waiting on the print service, all
// told: the paper lookup as it begins, the hand-over at its end, and
// cancelling a job left half made.
constexpr std::chrono::milliseconds kReportWithin{8500};
// The last part of that is kept for the cancelling.
constexpr std::chrono::milliseconds kCancelWithin{1000};

// Runs work on a thread of its own. Meanwhile the window goes on painting and
// answering the desktop, but keys, clicks and the title bar's close button
// wait until the work is done (the toolkit holds them back), so no command,
// another report say, starts inside this one.
template <typename Work>
void WhileWindowWaits(Work work)
{
    const std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    if (QCoreApplication::instance())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
}

QString NotPrinted(const QString &because)
{
    return QStringLiteral("The report could not be printed because %1.").arg(because);
}

PrintResult Failure(const QString &detail)
{
    return {PrintResult::Status::Failed, detail, {}};
}

QString NoAnswer()
{
    return NotPrinted(QStringLiteral("the print service does not answer"));
}

QString NotRunning()
{
    return NotPrinted(QStringLiteral("the print service is not running"));
}

// What went wrong, in words for the person printing.
QString Explained(const Trouble &trouble, const QString &printer)
{
    switch (trouble.kind) {
    case Trouble::Kind::None:
    case Trouble::Kind::Silent:
        return NoAnswer();
    case Trouble::Kind::NotRunning:
        return NotRunning();
    case Trouble::Kind::ServerUnreachable:
        return NotPrinted(QStringLiteral("the print server \"%1\" does not answer").arg(trouble.words));
    case Trouble::Kind::BrokenOff:
        return NotPrinted(QStringLiteral("the connection to the print service broke off (%1)").arg(trouble.words));
    case Trouble::Kind::NotAccepting:
        return NotPrinted(QStringLiteral("the printer \"%1\" is not accepting jobs").arg(printer));
    case Trouble::Kind::Cancelled:
        return QStringLiteral("The report was not printed because saving it was cancelled.");
    case Trouble::Kind::FileUnreadable:
        return NotPrinted(QStringLiteral("its temporary file could not be read"));
    case Trouble::Kind::NoneChosen:
    case Trouble::Kind::Gone:
    case Trouble::Kind::Refused:
        break;
    }
    return NotPrinted(QStringLiteral("the printer \"%1\" refused the job (%2)").arg(printer, trouble.words));
}

// Why a printer cannot take a job now, or empty when it can. What is already
// waiting there is said too: it prints when the printer is put right, so a
// report printed again meanwhile would come out twice.
QString Unready(const Destination &printer)
{
    QString why;
    switch (printer.state) {
    case Destination::State::Ready:
        return {};
    case Destination::State::NotAccepting:
        why = QStringLiteral("is not accepting jobs");
        break;
    case Destination::State::Stopped:
        why = QStringLiteral("is stopped");
        break;
    case Destination::State::Paused:
        why = QStringLiteral("is paused");
        break;
    case Destination::State::Offline:
        why = QStringLiteral("is offline");
        break;
    case Destination::State::InError:
        why = QStringLiteral("reports an error");
        break;
    case Destination::State::NotAvailable:
        why = QStringLiteral("is not available");
        break;
    }
    if (printer.waiting == 1)
        why += QStringLiteral(", with 1 job already waiting on it");
    else if (printer.waiting > 1)
        why += QStringLiteral(", with %1 jobs already waiting on it").arg(printer.waiting);
    return NotPrinted(QStringLiteral("the printer \"%1\" %2").arg(printer.name, why));
}

QString WhyNoDefault(const DefaultDestination &answer)
{
    using By = DefaultDestination::ChosenBy;
    if (answer.trouble.kind == Trouble::Kind::Gone) {
        const QString where = answer.chosenBy == By::LpdestVariable    ? QStringLiteral("by the LPDEST environment variable")
                              : answer.chosenBy == By::PrinterVariable ? QStringLiteral("by the PRINTER environment variable")
                              : answer.chosenBy == By::OptionsFile
                                  ? QStringLiteral("in ") + QDir::toNativeSeparators(answer.optionsFile)
                                  : QStringLiteral("in the system's settings");
        return NotPrinted(QStringLiteral("the default printer \"%1\" (set %2) does not exist")
                              .arg(answer.destination.name, where));
    }
    if (answer.trouble.kind == Trouble::Kind::Refused)
        return NotPrinted(QStringLiteral("the default printer could not be found (%1)").arg(answer.trouble.words));
    return Explained(answer.trouble, answer.destination.name);
}

// How to print on one of the printers there are, for someone who has chosen
// none: a few of their names, and where the choice is made.
QString HowToChoose(const QStringList &printers, const QString &command)
{
    const qsizetype shown = printers.size() <= 4 ? printers.size() : 3;
    QStringList names;
    for (qsizetype i = 0; i < shown; ++i)
        names.append(QLatin1Char('"') + printers[i] + QLatin1Char('"'));
    QString list = names.join(QStringLiteral(", "));
    if (shown < printers.size())
        list += QStringLiteral(" and %1 more").arg(printers.size() - shown);
    else if (shown > 1)
        list.replace(list.lastIndexOf(QStringLiteral(", ")), 2, QStringLiteral(" and "));
    const bool one = printers.size() == 1;
    QString how = one ? QStringLiteral("The printer set up is %1. To print on it, make it the default printer")
                      : QStringLiteral("The printers set up are %1. To print on one of them, make it the default "
                                       "printer");
    how = how.arg(list);
    if (command.isEmpty())
        return how + QStringLiteral(" in Settings, under Printers & scanners.");
    // On a line of its own: a message box would wrap it at its hyphen.
    return how + QStringLiteral(" in the desktop's printer settings, or with the command:\n") + command;
}

} // namespace

DefaultPrinter::DefaultPrinter(PrintServiceOpener open)
    : m_openService(std::move(open))
{
}

DefaultPrinter::~DefaultPrinter()
{
    if (m_busy)
        QGuiApplication::restoreOverrideCursor();
}

void DefaultPrinter::Prepare()
{
    if (m_page.DocumentOpen())
        return;
    m_deadline = QDeadlineTimer(kReportWithin);
    // The report has begun: until its end or its message, the operator sees
    // that the program is at work.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) && !m_busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_busy = true;
    }
    m_tempDir.reset();
    m_tempProblem.clear();
    m_steps.clear();
    // Qt answers an empty path when TMPDIR names a missing folder; a
    // temporary folder made from that would land in the root directory.
    const QString tempRoot = QDir::tempPath();
    if (tempRoot.isEmpty()) {
        m_tempProblem = NotPrinted(QStringLiteral("the temporary folder \"%1\" does not exist")
                                       .arg(qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"))));
    } else {
        m_tempDir = std::make_unique<QTemporaryDir>(tempRoot + QStringLiteral("/plendrik-print-XXXXXX"));
        if (!m_tempDir->isValid())
            m_tempProblem = NotPrinted(QStringLiteral("no temporary file could be made in \"%1\" (%2)")
                                           .arg(QDir::toNativeSeparators(tempRoot), m_tempDir->errorString()));
    }
    m_page.SetFilePath(m_tempProblem.isEmpty() ? m_tempDir->filePath(QStringLiteral("report.pdf")) : QString());
    m_paper = QPageSize();
    WhileWindowWaits([this] {
        const std::unique_ptr<PrintService> service = m_openService(m_deadline - kCancelWithin.count());
        m_paper = service->DefaultPaper();
        m_silence = service->Silence();
    });
    m_page.SetPageSize(m_paper);
}

double DefaultPrinter::PrintAt(double column, const QString &text)
{
    Prepare();
    m_steps.push_back({column, text});
    return m_page.PrintAt(column, text);
}

void DefaultPrinter::NewLine()
{
    Prepare();
    m_steps.push_back({std::numeric_limits<double>::quiet_NaN(), QString()});
    m_page.NewLine();
}

PrintResult DefaultPrinter::EndDoc(const QString &jobName)
{
    Prepare();
    const PrintResult laidOut = m_page.EndDoc(jobName);
    // The same pages again, for a service that prints by drawing: from a copy
    // of this report's lines, on whichever thread it draws.
    LaidOutReport report{jobName, m_page.FilePath(),
                         [steps = std::move(m_steps), paper = m_paper](QPagedPaintDevice *device) {
                             PagePrinter page;
                             page.SetDevice(device);
                             page.SetPageSize(paper);
                             for (const Step &step : steps) {
                                 if (std::isnan(step.column))
                                     page.NewLine();
                                 else
                                     page.PrintAt(step.column, step.text);
                             }
                             return page.EndDoc(QString()).status == PrintResult::Status::Printed;
                         }};
    m_steps.clear();

    PrintResult result;
    if (!m_tempProblem.isEmpty()) {
        result = Failure(m_tempProblem);
    } else if (laidOut.status != PrintResult::Status::Printed) {
        result = Failure(NotPrinted(QStringLiteral("its pages could not be written to the temporary folder \"%1\"")
                                        .arg(QDir::toNativeSeparators(m_tempDir->path()))));
    } else if (m_silence.kind != Trouble::Kind::None) {
        // It kept the paper lookup at the top of this report waiting until
        // the report's deadline, moments ago.
        result = Failure(Explained(m_silence, QString()));
    } else {
        WhileWindowWaits([this, &result, &report] { result = HandOver(report); });
    }

    m_tempDir.reset(); // removes the PDF whatever became of it
    m_page.SetFilePath(QString());
    m_silence = Trouble();
    if (std::exchange(m_busy, false))
        QGuiApplication::restoreOverrideCursor();
    return result;
}

PrintResult DefaultPrinter::HandOver(const LaidOutReport &report)
{
    const std::unique_ptr<PrintService> service = m_openService(m_deadline - kCancelWithin.count());
    if (!service->Reached())
        return Failure(service->Silence().kind != Trouble::Kind::None ? Explained(service->Silence(), QString())
                                                                       : NotRunning());

    const DefaultDestination chosen = service->Default();
    if (chosen.trouble.kind == Trouble::Kind::NoneChosen) {
        const QStringList printers = service->Printers();
        if (service->Silence().kind != Trouble::Kind::None)
            return Failure(Explained(service->Silence(), QString()));
        return Save(report, printers,
                    service->ChooseCommand(printers.size() == 1 ? printers[0] : QStringLiteral("NAME")));
    }
    if (chosen.trouble.kind != Trouble::Kind::None)
        return Failure(WhyNoDefault(chosen));

    // The service answers again. A job it never confirmed has printed or
    // will if it got its whole document; without one it would only sit in
    // the queue, or print long after the operator was told it did not.
    m_unfinishedJobs.removeIf([this, &service](const JobRef &job) {
        const std::optional<bool> whole = service->IsWhole(job);
        return whole && (*whole || service->Cancel(job, m_deadline - kCancelWithin.count()));
    });
    const Destination &printer = chosen.destination;
    if (const QString unready = Unready(printer); !unready.isEmpty())
        return Failure(unready);

    const Handover job = service->Submit(printer, report);
    if (job.trouble.kind == Trouble::Kind::None) {
        return {PrintResult::Status::Printed,
                QStringLiteral("Sent to the printer \"%1\" as job %2.").arg(printer.name).arg(job.jobId),
                {}};
    }
    const bool unanswered = job.trouble.kind == Trouble::Kind::Silent || job.trouble.kind == Trouble::Kind::BrokenOff
                            || job.trouble.kind == Trouble::Kind::ServerUnreachable;
    if (job.whole && unanswered) {
        // The service may have taken the whole document and print it when it
        // comes back; saying it was not printed would have it printed twice.
        // Whether it did is asked at the next report.
        // (A spooler that went silent before it told the job's number has
        // nothing to ask about later.)
        if (job.jobId > 0)
            m_unfinishedJobs.append({printer.name, job.jobId});
        const QString asJob = job.jobId > 0 ? QStringLiteral(" as job %1").arg(job.jobId) : QString();
        return {PrintResult::Status::Unconfirmed,
                QStringLiteral("The report went to the printer \"%1\"%2, but the print service has not "
                               "confirmed it. It may still print once the service answers again: check the "
                               "printer before printing the report again.")
                    .arg(printer.name, asJob),
                {}};
    }
    // A job without all of its document would only sit in the queue, or
    // print after the operator was told it did not. Cancelling it gets a
    // moment of its own even when the driver's work took the report's time.
    const QDeadlineTimer cancelBy = std::max(m_deadline, QDeadlineTimer(kCancelWithin));
    if (job.jobId > 0 && !service->Cancel({printer.name, job.jobId}, cancelBy))
        m_unfinishedJobs.append({printer.name, job.jobId});
    if (job.trouble.kind == Trouble::Kind::Cancelled)
        return {PrintResult::Status::Cancelled, Explained(job.trouble, printer.name), {}};
    return Failure(Explained(job.trouble, printer.name));
}

PrintResult DefaultPrinter::Save(const LaidOutReport &report, const QStringList &printers,
                                 const QString &command) const
{
    const QString why = printers.isEmpty() ? QStringLiteral("no printer is set up")
                                           : QStringLiteral("no default printer is chosen");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return Failure(NotPrinted(QStringLiteral("%1, and the documents folder \"%2\" for saving it instead "
                                                 "could not be made")
                                      .arg(why, QDir::toNativeSeparators(folder))));
    const QString target = SavePathFor(folder, report.jobName, QDateTime::currentDateTime());
    if (!QFile::copy(report.pdf, target))
        return Failure(NotPrinted(QStringLiteral("%1, and saving it as \"%2\" instead failed")
                                      .arg(why, QDir::toNativeSeparators(target))));
    const QString file = QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath());
    QString message = QStringLiteral("%1%2, so the report was saved as a PDF file:\n%3")
                          .arg(why.at(0).toUpper(), why.mid(1), file);
    if (!printers.isEmpty())
        message += QStringLiteral("\n\n") + HowToChoose(printers, command);
    return {PrintResult::Status::SavedToFile, message, file};
}

QString DefaultPrinter::SavePathFor(const QString &folder, const QString &jobName, const QDateTime &when)
{
    // Characters that no common file system takes in a name become dashes.
    QString name;
    for (const QChar c : jobName.simplified())
        name += (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) ? QLatin1Char('-') : c;
    if (name.isEmpty())
        name = QStringLiteral("Report");
    name += QLatin1Char(' ') + when.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));

    const QDir dir(folder);
    QString path = dir.filePath(name + QStringLiteral(".pdf"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2).pdf").arg(name).arg(n));
    return path;
}
