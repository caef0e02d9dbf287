#include "PrintService.h"
#include "WindowsSpooler.h"

#include <QPrinter>

#include <windows.h>
#include <winspool.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

Destination::State StateOf(DWORD status, DWORD attributes)
{
    using State = Destination::State;
    if (status & PRINTER_STATUS_PAUSED)
        return State::Paused;
    if ((status & PRINTER_STATUS_OFFLINE) || (attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE))
        return State::Offline;
    if (status & PRINTER_STATUS_NOT_AVAILABLE)
        return State::NotAvailable;
    if (status
        & (PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_PROBLEM
           | PRINTER_STATUS_NO_TONER | PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_USER_INTERVENTION))
        return State::InError;
    if (status & PRINTER_STATUS_PENDING_DELETION)
        return State::NotAccepting;
    return State::Ready;
}

Trouble TroubleOf(DWORD error)
{
    switch (error) {
    case RPC_S_SERVER_UNAVAILABLE: // the Print Spooler service is stopped
    case RPC_S_SERVER_TOO_BUSY:
    case ERROR_SERVICE_NOT_ACTIVE:
        return {Trouble::Kind::NotRunning, {}};
    default:
        break;
    }
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString words = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(error);
    LocalFree(text);
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return {Trouble::Kind::Refused, words};
}

namespace {

// How often a spooler call that has not returned is checked on.
constexpr std::chrono::milliseconds kPoll{100};

struct ClosePrinterHandle
{
    void operator()(HANDLE printer) const { ClosePrinter(printer); }
};
using PrinterHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, ClosePrinterHandle>;

// An answer with the error that came with it.
template <typename T>
struct Answer
{
    T value{};
    DWORD error = ERROR_SUCCESS;
};

PrinterHandle Open(const QString &name, DWORD *error)
{
    std::wstring wide = name.toStdWString();
    HANDLE handle = nullptr;
    if (!OpenPrinterW(wide.data(), &handle, nullptr)) {
        *error = GetLastError();
        return nullptr;
    }
    return PrinterHandle(handle);
}

// The level-2 information of a printer, or empty with the error.
std::vector<BYTE> PrinterInfo(HANDLE printer, DWORD *error)
{
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !GetPrinterW(printer, 2, buffer.data(), needed, &needed)) {
        *error = GetLastError();
        return {};
    }
    return buffer;
}

// The user's default settings for a printer, paper among them.
QPageSize PaperOf(HANDLE printer, const QString &name)
{
    std::wstring wide = name.toStdWString();
    const LONG size = DocumentPropertiesW(nullptr, printer, wide.data(), nullptr, nullptr, 0);
    if (size <= 0)
        return QPageSize();
    std::vector<BYTE> buffer(static_cast<size_t>(size));
    auto *mode = reinterpret_cast<DEVMODEW *>(buffer.data());
    if (DocumentPropertiesW(nullptr, printer, wide.data(), mode, nullptr, DM_OUT_BUFFER) != IDOK)
        return QPageSize();
    if ((mode->dmFields & DM_PAPERLENGTH) && (mode->dmFields & DM_PAPERWIDTH) && mode->dmPaperLength > 0
        && mode->dmPaperWidth > 0) // tenths of a millimetre
        return QPageSize(QSizeF(mode->dmPaperWidth / 10.0, mode->dmPaperLength / 10.0), QPageSize::Millimeter,
                         QString(), QPageSize::FuzzyMatch);
    if (mode->dmFields & DM_PAPERSIZE)
        return QPageSize(QPageSize::id(static_cast<int>(mode->dmPaperSize)));
    return QPageSize();
}

// The newest job of a printer with this document name, 0 if none is left.
int JobNamed(HANDLE printer, const QString &document)
{
    DWORD needed = 0, count = 0;
    EnumJobsW(printer, 0, 0xFFFFFFFF, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumJobsW(printer, 0, 0xFFFFFFFF, 1, buffer.data(), needed, &needed, &count))
        return 0;
    const auto *jobs = reinterpret_cast<const JOB_INFO_1W *>(buffer.data());
    int newest = 0;
    for (DWORD i = 0; i < count; ++i)
        if (jobs[i].pDocument && QString::fromWCharArray(jobs[i].pDocument) == document)
            newest = std::max(newest, static_cast<int>(jobs[i].JobId));
    return newest;
}

// Whether a window of a thread is shown: a printer driver asking the
// operator something (where to save a file, say) from inside a print call.
bool ShowsWindow(DWORD thread)
{
    bool shown = false;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM found) {
            if (!IsWindowVisible(window))
                return TRUE;
            *reinterpret_cast<bool *>(found) = true;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&shown));
    return shown;
}

// The one thread that asks the spooler and draws on printers, for the life
// of the program. One thread rather than one a call: the toolkit keeps
// per-thread state for every thread that draws, and under Wine a new one
// could not start while the last one's was being cleared away.
class SpoolerThread
{
public:
    static SpoolerThread &Instance()
    {
        static auto *thread = new SpoolerThread; // never ends, so never destroyed
        return *thread;
    }

    void Post(std::function<void()> task)
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        m_wake.notify_one();
    }

    DWORD Id() const { return m_id; }

private:
    SpoolerThread()
    {
        std::promise<DWORD> started;
        std::thread([this, &started] {
            started.set_value(GetCurrentThreadId());
            for (;;) {
                std::function<void()> task;
                {
                    std::unique_lock lock(m_mutex);
                    m_wake.wait(lock, [this] { return !m_tasks.empty(); });
                    task = std::move(m_tasks.front());
                    m_tasks.pop_front();
                }
                task();
            }
        }).detach();
        m_id = started.get_future().get();
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    DWORD m_id = 0;
};

// Runs call on the spooler's thread and waits for it until the deadline; the
// spooler's calls cannot be given one. A call given up on before it began
// never runs; one under way goes on alone. While that thread shows a window,
// a printer driver is asking the operator something (where to save a file,
// say): that time does not count.
template <typename Call>
std::optional<std::invoke_result_t<Call>> RunWithin(Call call, QDeadlineTimer &deadline)
{
    using Result = std::invoke_result_t<Call>;
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool abandoned = false;
    };
    const auto shared = std::make_shared<Shared>();
    SpoolerThread &thread = SpoolerThread::Instance();
    thread.Post([shared, call = std::move(call)]() mutable {
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->abandoned)
                return;
        }
        Result result = call();
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->done.notify_all();
    });

    std::unique_lock lock(shared->mutex);
    while (!shared->done.wait_for(lock, kPoll, [&shared] { return shared->result.has_value(); })) {
        if (ShowsWindow(thread.Id())) {
            deadline += kPoll.count();
        } else if (deadline.hasExpired()) {
            shared->abandoned = true;
            return std::nullopt;
        }
    }
    return std::move(shared->result);
}

// The Windows spooler, asked through winspool and printed on by drawing the
// report's pages on a QPrinter. Its calls cannot be given a deadline, so
// each runs on a thread of its own, which is left to finish alone if the
// deadline passes first.
class WindowsPrintService : public PrintService
{
public:
    explicit WindowsPrintService(QDeadlineTimer deadline);

    bool Reached() const override { return m_reached; }
    Trouble Silence() const override { return {m_gaveUp ? Trouble::Kind::Silent : Trouble::Kind::None, {}}; }
    DefaultDestination Default() override;
    QPageSize DefaultPaper() override;
    QStringList Printers() override;
    Handover Submit(const Destination &destination, const LaidOutReport &report) override;
    std::optional<bool> IsWhole(const JobRef &job) override;
    bool Cancel(const JobRef &job, QDeadlineTimer deadline) override;
    QString ChooseCommand(const QString &) const override { return {}; }

private:
    // Each call of the report's shares its deadline; once one has passed it,
    // the rest fail at once.
    template <typename Call>
    std::optional<std::invoke_result_t<Call>> Ask(Call call)
    {
        if (m_gaveUp)
            return std::nullopt;
        auto result = RunWithin(std::move(call), m_deadline);
        m_gaveUp = !result;
        return result;
    }

    QDeadlineTimer m_deadline;
    bool m_reached = true;
    bool m_gaveUp = false;
};

WindowsPrintService::WindowsPrintService(QDeadlineTimer deadline)
    : m_deadline(deadline)
{
    // A stopped Print Spooler service answers every call with an RPC error.
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
    using Kind = Trouble::Kind;
    const auto answer = Ask([] {
        DefaultDestination found;
        // error, unless it is the one that means the printer is absent.
        const auto missing = [&found](DWORD error, DWORD absent, Kind why) {
            found.trouble = TroubleOf(error);
            if (error == absent)
                found.trouble = {why, {}};
            return found;
        };
        DWORD size = 0;
        DWORD error = GetDefaultPrinterW(nullptr, &size) ? DWORD(ERROR_SUCCESS) : GetLastError();
        std::wstring name(size, L'\0');
        if (size == 0 || !GetDefaultPrinterW(name.data(), &size)) {
            if (size != 0)
                error = GetLastError();
            return missing(error, ERROR_FILE_NOT_FOUND, Kind::NoneChosen);
        }
        found.destination.name = QString::fromWCharArray(name.c_str());
        const PrinterHandle printer = Open(found.destination.name, &error);
        std::vector<BYTE> info;
        if (printer)
            info = PrinterInfo(printer.get(), &error);
        if (info.empty())
            return missing(error, ERROR_INVALID_PRINTER_NAME, Kind::Gone);
        const auto *printerInfo = reinterpret_cast<const PRINTER_INFO_2W *>(info.data());
        found.destination.state = StateOf(printerInfo->Status, printerInfo->Attributes);
        return found;
    });
    if (!answer)
        return {{Kind::Silent, {}}, {}, {}, {}};
    return *answer;
}

QPageSize WindowsPrintService::DefaultPaper()
{
    const DefaultDestination chosen = Default();
    if (chosen.trouble.kind != Trouble::Kind::None)
        return QPageSize();
    return Ask([name = chosen.destination.name] {
               DWORD error = ERROR_SUCCESS;
               const PrinterHandle printer = Open(name, &error);
               return printer ? PaperOf(printer.get(), name) : QPageSize();
           })
        .value_or(QPageSize());
}

QStringList WindowsPrintService::Printers()
{
    return Ask([] {
               QStringList names;
               DWORD needed = 0, count = 0;
               const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
               EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
               std::vector<BYTE> buffer(needed);
               if (needed == 0 || !EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count))
                   return names;
               const auto *printers = reinterpret_cast<const PRINTER_INFO_4W *>(buffer.data());
               for (DWORD i = 0; i < count; ++i)
                   names.append(QString::fromWCharArray(printers[i].pPrinterName));
               return names;
           })
        .value_or(QStringList());
}

Handover WindowsPrintService::Submit(const Destination &destination, const LaidOutReport &report)
{
    // The pages are drawn on the printer on the spooler call's own thread,
    // from the report's own copy of its lines.
    const auto answer = Ask([name = destination.name, report] {
        Handover job;
        QPrinter printer(QPrinter::HighResolution);
        printer.setPrinterName(name);
        printer.setDocName(report.jobName);
        const bool drawn = printer.isValid() && report.draw(&printer);
        const DWORD error = GetLastError();
        DWORD ignored = ERROR_SUCCESS;
        if (const PrinterHandle handle = Open(name, &ignored))
            job.jobId = JobNamed(handle.get(), report.jobName);
        job.whole = drawn;
        if (!drawn)
            job.trouble = printer.printerState() == QPrinter::Aborted ? Trouble{Trouble::Kind::Refused,
                                                                                  QStringLiteral("cancelled")}
                                                                      : TroubleOf(error);
        return job;
    });
    if (answer)
        return *answer;
    // The drawing goes on without us, and the spooler may yet print it.
    Handover silent;
    silent.whole = true;
    silent.trouble.kind = Trouble::Kind::Silent;
    return silent;
}

std::optional<bool> WindowsPrintService::IsWhole(const JobRef &job)
{
    return Ask([job] {
        DWORD error = ERROR_SUCCESS;
        const PrinterHandle printer = Open(job.printer, &error);
        if (!printer)
            return std::optional<bool>();
        DWORD needed = 0;
        GetJobW(printer.get(), static_cast<DWORD>(job.id), 1, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        if (needed == 0 || !GetJobW(printer.get(), static_cast<DWORD>(job.id), 1, buffer.data(), needed, &needed))
            return std::optional<bool>(GetLastError() == ERROR_INVALID_PARAMETER); // gone: printed or removed
        return std::optional<bool>(!(reinterpret_cast<const JOB_INFO_1W *>(buffer.data())->Status
                                     & JOB_STATUS_SPOOLING));
    })
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
