// The print service on Windows: the spooler, asked through winspool on its
// own thread (WindowsSpoolerThread.h), and printed on by drawing the
// report's pages on a QPrinter there.

#include "PrintService.h"
#include "WindowsDocumentCalls.h"
#include "WindowsPrinters.h"
#include "WindowsSpoolerAnswers.h"
#include "WindowsSpoolerThread.h"

#include <QPrinter>

#include <windows.h>
#include <winspool.h>

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace {

class WindowsPrintService : public PrintService
{
public:
    explicit WindowsPrintService(QDeadlineTimer deadline);

    bool Reached() const override { return m_reached; }
    Trouble Silence() const override { return m_silence; }
    DefaultDestination Default() override;
    QPageSize DefaultPaper() override;
    QStringList Printers() override;
    SubmittedJob SubmitJob(const Destination &destination, const LaidOutReport &report) override;
    std::optional<bool> IsWhole(const JobRef &job) override;
    bool Cancel(const JobRef &job, QDeadlineTimer deadline) override;
    QString WhereToChoose(const QString &) const override { return WhereDefaultIsChosen(); }

private:
    // Each call of the report's shares its deadline; once one has passed it,
    // the rest fail at once. A call about a printer on a print server that
    // keeps silent is that server's silence, not the spooler's.
    template <typename Call>
    std::optional<std::invoke_result_t<Call>> Ask(Call call, const QString &printer = QString(),
                                                  const std::shared_ptr<DocumentProgress> &document = nullptr)
    {
        if (m_silence.kind != Trouble::Kind::None)
            return std::nullopt;
        auto result = RunWithin(std::move(call), m_deadline, document);
        if (!result) {
            const QString server = ServerOf(printer);
            m_silence = server.isEmpty() ? Trouble{Trouble::Kind::Silent, {}}
                                         : Trouble{Trouble::Kind::ServerUnreachable, server};
        }
        return result;
    }

    QDeadlineTimer m_deadline;
    bool m_reached = true;
    Trouble m_silence;
};

WindowsPrintService::WindowsPrintService(QDeadlineTimer deadline)
    : m_deadline(deadline)
{
    // A stopped Print Spooler service answers every call with an RPC error.
    // Level 4 is read from this computer alone, never from a print server.
    const std::optional<DWORD> error = Ask([] {
        DWORD needed = 0, count = 0;
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count)
                   ? DWORD(ERROR_SUCCESS)
                   : GetLastError();
    });
    m_reached = error && TroubleOf(*error).kind != Trouble::Kind::NotRunning;
}

DefaultDestination WindowsPrintService::Default()
{
    using Outcome = DefaultDestination::Outcome;
    DefaultDestination found;
    found.outcome = Outcome::Failed;
    // Which printer is the default is this computer's own setting.
    const auto name = Ask([]() -> std::pair<QString, DWORD> {
        std::wstring name(MAX_PATH, L'\0');
        for (;;) {
            DWORD size = static_cast<DWORD>(name.size());
            if (GetDefaultPrinterW(name.data(), &size))
                return {QString::fromWCharArray(name.c_str()), ERROR_SUCCESS};
            const DWORD error = GetLastError();
            if (error != ERROR_INSUFFICIENT_BUFFER || size <= name.size())
                return {QString(), error};
            name.resize(size);
        }
    });
    if (!name) {
        found.trouble = m_silence;
        return found;
    }
    if (name->first.isEmpty()) {
        if (name->second == ERROR_FILE_NOT_FOUND)
            found.outcome = Outcome::NoneChosen;
        else
            found.trouble = TroubleOf(name->second);
        return found;
    }
    found.destination.name = name->first;
    // Its state is asked of the spooler that holds its queue, which may be a
    // print server's.
    const auto state = Ask(
        [printer = found.destination.name]() -> std::pair<Destination, DWORD> {
            Destination destination{printer, Destination::State::Ready, 0};
            DWORD error = ERROR_SUCCESS;
            const PrinterHandle handle = Open(printer, &error);
            const std::optional<std::vector<BYTE>> info = handle ? PrinterInfo(handle.get(), &error) : std::nullopt;
            if (!info)
                return {destination, error};
            std::vector<BYTE> storage;
            std::vector<DWORD> jobs;
            for (const JOB_INFO_1W &job : QueueOf(handle.get(), storage))
                jobs.push_back(job.Status);
            const auto *printerInfo = reinterpret_cast<const PRINTER_INFO_2W *>(info->data());
            destination.state = StateOf(printerInfo->Status, printerInfo->Attributes, jobs);
            destination.waiting = static_cast<int>(jobs.size());
            return {destination, ERROR_SUCCESS};
        },
        found.destination.name);
    if (!state) {
        found.trouble = m_silence;
    } else if (state->second == ERROR_INVALID_PRINTER_NAME) {
        found.outcome = Outcome::Gone;
        found.setWhere = QStringLiteral("in the system's settings");
    } else if (state->second != ERROR_SUCCESS) {
        found.trouble = TroubleOf(state->second, found.destination.name);
    } else {
        found.outcome = Outcome::Found;
        found.destination = state->first;
    }
    return found;
}

QPageSize WindowsPrintService::DefaultPaper()
{
    const DefaultDestination chosen = Default();
    if (chosen.outcome != DefaultDestination::Outcome::Found)
        return QPageSize();
    return Ask(
               [name = chosen.destination.name] {
                   DWORD error = ERROR_SUCCESS;
                   const PrinterHandle printer = Open(name, &error);
                   return printer ? PaperOf(printer.get(), name) : QPageSize();
               },
               chosen.destination.name)
        .value_or(QPageSize());
}

QStringList WindowsPrintService::Printers()
{
    return Ask([] {
               QStringList names;
               DWORD count = 0, error = ERROR_SUCCESS;
               const std::optional<std::vector<BYTE>> found = Filled(
                   [&count](BYTE *buffer, DWORD size, DWORD *needed) {
                       return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, buffer, size,
                                            needed, &count)
                              != FALSE;
                   },
                   &error);
               if (!found || found->empty())
                   return names;
               const auto *printers = reinterpret_cast<const PRINTER_INFO_4W *>(found->data());
               for (DWORD i = 0; i < count; ++i)
                   names.append(QString::fromWCharArray(printers[i].pPrinterName));
               return names;
           })
        .value_or(QStringList());
}

SubmittedJob WindowsPrintService::SubmitJob(const Destination &destination, const LaidOutReport &report)
{
    const auto document = std::make_shared<DocumentProgress>(destination.name);
    // The pages are drawn on the printer on the spooler's own thread, from
    // the report's own copy of its lines.
    const auto answer = Ask(
        [name = destination.name, report, document] {
            const bool watched = WatchDocumentCalls();
            SubmittedJob job;
            bool valid = false;
            {
                const WatchingDocument watching(document.get());
                QPrinter printer(QPrinter::HighResolution);
                printer.setPrinterName(name);
                printer.setDocName(report.jobName);
                valid = printer.isValid();
                job.whole = valid && report.draw(&printer);
            }
            const DWORD lastError = GetLastError();
            const DocumentCalls calls = document->Calls();
            job.jobId = calls.jobId;
            job.trouble = TroubleOf(calls);
            if (!watched) {
                // Read after the fact: the best there is without the calls.
                DWORD ignored = ERROR_SUCCESS;
                if (const PrinterHandle handle = Open(name, &ignored))
                    job.jobId = OurJobNamed(handle.get(), report.jobName);
                if (!job.whole)
                    job.trouble = TroubleOf(lastError, name);
            }
            if (job.trouble.kind != Trouble::Kind::None)
                job.whole = false;
            else if (!job.whole)
                job.trouble = {Trouble::Kind::Refused,
                               valid ? QStringLiteral("its pages could not be drawn")
                                     : QStringLiteral("its driver could not be started")};
            return job;
        },
        destination.name, document);
    if (answer)
        return *answer;
    // Given up on: with no job, nothing prints; with one, its driver is still
    // at work, and the spooler may yet print it.
    SubmittedJob silent;
    silent.jobId = document->Calls().jobId;
    silent.whole = silent.jobId > 0;
    silent.trouble = m_silence;
    return silent;
}

std::optional<bool> WindowsPrintService::IsWhole(const JobRef &job)
{
    return Ask(
               [job] {
                   DWORD error = ERROR_SUCCESS;
                   const PrinterHandle printer = Open(job.printer, &error);
                   if (!printer)
                       return std::optional<bool>();
                   const std::optional<std::vector<BYTE>> info = Filled(
                       [&printer, &job](BYTE *buffer, DWORD size, DWORD *needed) {
                           return GetJobW(printer.get(), static_cast<DWORD>(job.id), 1, buffer, size, needed) != FALSE;
                       },
                       &error);
                   if (!info)
                       return std::optional<bool>(error == ERROR_INVALID_PARAMETER); // gone: printed or removed
                   return std::optional<bool>(
                       !(reinterpret_cast<const JOB_INFO_1W *>(info->data())->Status & JOB_STATUS_SPOOLING));
               },
               job.printer)
        .value_or(std::nullopt);
}

bool WindowsPrintService::Cancel(const JobRef &job, QDeadlineTimer deadline)
{
    // By a deadline of its own, whatever became of the report's.
    return RunWithin(
               [job] {
                   DWORD error = ERROR_SUCCESS;
                   const PrinterHandle printer = Open(job.printer, &error);
                   return printer
                          && SetJobW(printer.get(), static_cast<DWORD>(job.id), 0, nullptr, JOB_CONTROL_DELETE);
               },
               deadline)
        .value_or(false);
}

} // namespace

std::unique_ptr<PrintService> OpenPrintService(QDeadlineTimer deadline)
{
    return std::make_unique<WindowsPrintService>(deadline);
}
