// Records a report, lays it out into a temporary PDF and settles with the
// print service what becomes of it.

#include "DefaultPrinter.h"

#include "OperatorWords.h"
#include "SaveInDocuments.h"
#include "TemporaryReportFolder.h"

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

PrintResult Failed(const QString &detail)
{
    return {PrintResult::Status::Failed, detail, {}};
}

// The service may have the whole document, and print it when it answers again.
bool Unanswered(const Trouble &trouble)
{
    return trouble.kind == Trouble::Kind::Silent || trouble.kind == Trouble::Kind::BrokenOff
           || trouble.kind == Trouble::Kind::ServerUnreachable;
}

} // namespace

DefaultPrinter::DefaultPrinter(PrintServiceOpener open)
    : m_openService(std::move(open))
{
}

DefaultPrinter::~DefaultPrinter() = default;

QDeadlineTimer DefaultPrinter::ServiceDeadline() const
{
    return m_deadline - kCancelWithin.count();
}

void DefaultPrinter::AskPaperAsReportBegins()
{
    if (m_page.DocumentOpen())
        return;
    m_deadline = QDeadlineTimer(kReportWithin);
    m_busy.Show();
    m_steps.clear();
    m_folder = std::make_unique<TemporaryReportFolder>();
    m_page.SetFilePath(m_folder->Pdf());
    m_paper = AskPaper();
    m_page.SetPageSize(m_paper);
}

QPageSize DefaultPrinter::AskPaper()
{
    QPageSize paper;
    WhileWindowWaits([this, &paper] {
        const std::unique_ptr<PrintService> service = m_openService(ServiceDeadline());
        paper = service->DefaultPaper();
        m_silence = service->Silence();
    });
    return paper;
}

double DefaultPrinter::PrintAt(double column, const QString &text)
{
    AskPaperAsReportBegins();
    m_steps.push_back({column, text});
    return m_page.PrintAt(column, text);
}

void DefaultPrinter::NewLine()
{
    AskPaperAsReportBegins();
    m_steps.push_back({std::numeric_limits<double>::quiet_NaN(), QString()});
    m_page.NewLine();
}

LaidOutReport DefaultPrinter::RecordedReport(const QString &jobName)
{
    // From a copy of this report's lines, on whichever thread draws it.
    return {jobName, m_page.FilePath(), [steps = std::exchange(m_steps, {}), paper = m_paper](QPagedPaintDevice *device) {
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
}

PrintResult DefaultPrinter::EndDoc(const QString &jobName)
{
    AskPaperAsReportBegins();
    const PrintResult laidOut = m_page.EndDoc(jobName);
    const LaidOutReport report = RecordedReport(jobName);

    PrintResult result;
    if (!m_folder->Problem().isEmpty())
        result = Failed(m_folder->Problem());
    else if (laidOut.status != PrintResult::Status::Printed)
        result = Failed(m_folder->NotWritten());
    else if (m_silence.kind != Trouble::Kind::None)
        // It kept the paper lookup at the top of this report waiting until
        // the report's deadline, moments ago.
        result = Failed(TroubleWords(m_silence, QString()));
    else
        WhileWindowWaits([this, &result, &report] { result = SubmitToDefaultPrinter(report); });

    m_folder.reset(); // removes the PDF whatever became of it
    m_page.SetFilePath(QString());
    m_silence = Trouble();
    m_busy.Hide();
    return result;
}

PrintResult DefaultPrinter::SubmitToDefaultPrinter(const LaidOutReport &report)
{
    const std::unique_ptr<PrintService> service = m_openService(ServiceDeadline());
    if (!service->Reached())
        return Failed(service->Silence().kind != Trouble::Kind::None ? TroubleWords(service->Silence(), QString())
                                                                      : NotRunning());
    const DefaultDestination chosen = service->Default();
    if (chosen.outcome == DefaultDestination::Outcome::NoneChosen)
        return SaveWhenNoneChosen(*service, report);
    if (chosen.outcome != DefaultDestination::Outcome::Found)
        return Failed(WhyNoDefault(chosen));
    SettleUnconfirmedJobs(*service);
    if (const QString unready = WhyNotReady(chosen.destination); !unready.isEmpty())
        return Failed(unready);
    return SubmitJob(*service, chosen.destination, report);
}

PrintResult DefaultPrinter::SaveWhenNoneChosen(PrintService &service, const LaidOutReport &report) const
{
    const QStringList printers = service.Printers();
    if (service.Silence().kind != Trouble::Kind::None)
        return Failed(TroubleWords(service.Silence(), QString()));
    return SaveInDocuments(report.pdf, report.jobName, printers,
                           service.WhereToChoose(printers.size() == 1 ? printers[0] : QStringLiteral("NAME")));
}

// The service answers again. A job it never confirmed has printed or will if
// it got its whole document; without one it would only sit in the queue, or
// print long after the operator was told it did not.
void DefaultPrinter::SettleUnconfirmedJobs(PrintService &service)
{
    m_unfinishedJobs.removeIf([this, &service](const JobRef &job) {
        const std::optional<bool> whole = service.IsWhole(job);
        return whole && (*whole || service.Cancel(job, ServiceDeadline()));
    });
}

PrintResult DefaultPrinter::SubmitJob(PrintService &service, const Destination &printer, const LaidOutReport &report)
{
    const SubmittedJob job = service.SubmitJob(printer, report);
    if (job.trouble.kind == Trouble::Kind::None)
        return {PrintResult::Status::Printed, SentAsJob(printer.name, job.jobId), {}};
    if (job.whole && Unanswered(job.trouble)) {
        // Saying it was not printed would have it printed twice. Whether it
        // did is asked at the next report. (A spooler that went silent
        // before it told the job's number has nothing to ask about later.)
        if (job.jobId > 0)
            m_unfinishedJobs.append({printer.name, job.jobId});
        return {PrintResult::Status::Unconfirmed, NotConfirmed(printer.name, job.jobId), {}};
    }
    CancelHalfMadeJob(service, {printer.name, job.jobId});
    const auto status =
        job.trouble.kind == Trouble::Kind::Cancelled ? PrintResult::Status::Cancelled : PrintResult::Status::Failed;
    return {status, TroubleWords(job.trouble, printer.name), {}};
}

// A job without all of its document would only sit in the queue, or print
// after the operator was told it did not. Cancelling it gets a moment of its
// own even when the driver's work took the report's time.
void DefaultPrinter::CancelHalfMadeJob(PrintService &service, const JobRef &job)
{
    const QDeadlineTimer cancelBy = std::max(m_deadline, QDeadlineTimer(kCancelWithin));
    if (job.id > 0 && !service.Cancel(job, cancelBy))
        m_unfinishedJobs.append(job);
}
