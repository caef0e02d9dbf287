#include "PrintService.h"
#include "WindowsDocumentCalls.h"
#include "WindowsSpooler.h"

#include <QPrinter>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

namespace {

// How often a spooler call that has not returned is checked on.
constexpr std::chrono::milliseconds kPoll{100};

// Once the spooler has taken the job, the printer's driver draws the pages
// and ends the document in this program, at its own pace. Drawing these
// pages takes well under a second, but a vendor's driver may spend tens of
// seconds setting itself up on its first job; a minute covers that and still
// tells the operator, if the driver never finishes, that the report may yet
// print. Meanwhile the spooler is still asked about the job: one that stops
// answering is told as the spooler's silence, as before it took the job.
constexpr std::chrono::seconds kDriverWithin{60};

struct ClosePrinterHandle
{
    void operator()(HANDLE printer) const { ClosePrinter(printer); }
};
using PrinterHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, ClosePrinterHandle>;

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

// Fills a buffer that the spooler sizes: asked with one too small, a call
// says how much it needs, and what it describes may grow before it is asked
// again, so it is asked until the buffer was large enough. Empty on an
// error, which is kept.
template <typename Fill>
std::optional<std::vector<BYTE>> Filled(Fill fill, DWORD *error)
{
    std::vector<BYTE> buffer;
    for (;;) {
        DWORD needed = 0;
        if (fill(buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed))
            return buffer;
        const DWORD why = GetLastError();
        if (why != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            *error = why;
            return std::nullopt;
        }
        buffer.resize(needed);
    }
}

std::optional<std::vector<BYTE>> PrinterInfo(HANDLE printer, DWORD *error)
{
    return Filled([printer](BYTE *buffer, DWORD size, DWORD *needed) {
        return GetPrinterW(printer, 2, buffer, size, needed) != FALSE;
    },
                  error);
}

// The jobs in a printer's queue, oldest first.
std::vector<JOB_INFO_1W> QueueOf(HANDLE printer, std::vector<BYTE> &storage)
{
    DWORD count = 0, error = ERROR_SUCCESS;
    std::optional<std::vector<BYTE>> jobs = Filled(
        [printer, &count](BYTE *buffer, DWORD size, DWORD *needed) {
            return EnumJobsW(printer, 0, 0xFFFFFFFF, 1, buffer, size, needed, &count) != FALSE;
        },
        &error);
    if (!jobs)
        return {};
    storage = std::move(*jobs); // the same memory, which the jobs' texts point into
    const auto *first = reinterpret_cast<const JOB_INFO_1W *>(storage.data());
    return std::vector<JOB_INFO_1W>(first, first + (storage.empty() ? 0 : count));
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

// The newest job of this user on this computer with this document name, 0
// if none: on a shared queue, a colleague's job of the same name is not ours.
int OurJobNamed(HANDLE printer, const QString &document)
{
    wchar_t user[256 + 1] = {};
    DWORD userSize = static_cast<DWORD>(std::size(user));
    wchar_t machine[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD machineSize = static_cast<DWORD>(std::size(machine));
    if (!GetUserNameW(user, &userSize) || !GetComputerNameW(machine, &machineSize))
        return 0;
    const auto same = [](const wchar_t *a, const QString &b) {
        return a && QString::fromWCharArray(a).compare(b, Qt::CaseInsensitive) == 0;
    };
    // A machine is named with or without the backslashes of a UNC name.
    const auto machineOf = [](const wchar_t *name) {
        QString machine = name ? QString::fromWCharArray(name) : QString();
        while (machine.startsWith(QLatin1Char('\\')))
            machine.remove(0, 1);
        return machine;
    };
    std::vector<BYTE> storage;
    int newest = 0;
    for (const JOB_INFO_1W &job : QueueOf(printer, storage)) {
        if (same(job.pDocument, document) && same(job.pUserName, QString::fromWCharArray(user))
            && same(machine, machineOf(job.pMachineName)))
            newest = std::max(newest, static_cast<int>(job.JobId));
    }
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

// Asks the spooler how a job is getting on while its driver is at work, one
// question at a time and each on a thread of its own, as the spooler's
// thread is busy with the driver: a spooler that leaves a question about a
// job unanswered for a second has fallen silent, whatever the driver does.
// (Such a thread holds only the printer's name and the job's id.)
class JobProbe
{
public:
    // False once a question has gone unanswered for too long.
    bool Answering(const QString &printer, int jobId)
    {
        if (m_pending && *m_pending)
            return !m_asked.hasExpired();
        if (m_pending && !m_next.hasExpired())
            return true;
        m_pending = std::make_shared<std::atomic<bool>>(true);
        m_asked = QDeadlineTimer(kAnswerWithin);
        m_next = QDeadlineTimer(kAskEvery);
        std::thread([pending = m_pending, printer, jobId] {
            DWORD error = ERROR_SUCCESS;
            if (const PrinterHandle handle = Open(printer, &error)) {
                DWORD needed = 0;
                GetJobW(handle.get(), static_cast<DWORD>(jobId), 1, nullptr, 0, &needed);
            }
            *pending = false;
        }).detach();
        return true;
    }

private:
    static constexpr std::chrono::seconds kAnswerWithin{1};
    static constexpr std::chrono::seconds kAskEvery{1};

    std::shared_ptr<std::atomic<bool>> m_pending;
    QDeadlineTimer m_asked;
    QDeadlineTimer m_next;
};

// The thread that asks the spooler and draws on printers. One thread for
// the life of the program rather than one a call: the toolkit keeps
// per-thread state for every thread that draws, and under Wine a new one
// could not start while the last one's was being cleared away. It is a
// single-threaded COM apartment with a message loop, as a thread that hosts
// the drivers' own windows (shell Save dialogs among them) must be. Only a
// call given up on while still running keeps it: the calls after that get a
// new thread, so a print server that never answers holds up nothing else.
class SpoolerThread
{
public:
    static std::shared_ptr<SpoolerThread> ForNextCall()
    {
        static std::mutex mutex;
        static std::shared_ptr<SpoolerThread> current;
        const std::lock_guard lock(mutex);
        if (!current || current->m_held) {
            if (current)
                PostThreadMessageW(current->m_id, WM_QUIT, 0, 0); // ends once its call does
            current = std::shared_ptr<SpoolerThread>(new SpoolerThread);
        }
        return current;
    }

    void Post(std::function<void()> task)
    {
        auto *posted = new std::function<void()>(std::move(task));
        if (!PostThreadMessageW(m_id, kRunTask, 0, reinterpret_cast<LPARAM>(posted)))
            delete posted; // the caller's wait gives up on it in time
    }

    void Hold() { m_held = true; }
    DWORD Id() const { return m_id; }

private:
    static constexpr UINT kRunTask = WM_APP;

    SpoolerThread()
    {
        std::promise<DWORD> started;
        std::thread([&started] {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            MSG message;
            PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // makes its message queue
            started.set_value(GetCurrentThreadId());
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (!message.hwnd && message.message == kRunTask) {
                    const std::unique_ptr<std::function<void()>> task(
                        reinterpret_cast<std::function<void()> *>(message.lParam));
                    (*task)();
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            if (SUCCEEDED(com))
                CoUninitialize();
        }).detach();
        m_id = started.get_future().get();
    }

    DWORD m_id = 0;
    std::atomic<bool> m_held{false};
};

// Runs call on the spooler's thread and waits for it until the deadline; the
// spooler's calls cannot be given one. A call given up on before it began
// never runs; one under way goes on alone. While that thread shows a window,
// a printer driver is asking the operator something (where to save a file,
// say): that time does not count. For a document, the deadline is the
// spooler's until it has taken the job; the driver's work after that has an
// allowance of its own, as long as the spooler goes on answering.
template <typename Call>
std::optional<std::invoke_result_t<Call>> RunWithin(Call call, QDeadlineTimer &deadline,
                                                    const std::shared_ptr<DocumentProgress> &document = nullptr)
{
    using Result = std::invoke_result_t<Call>;
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool started = false;
        bool abandoned = false;
    };
    const auto shared = std::make_shared<Shared>();
    const std::shared_ptr<SpoolerThread> thread = SpoolerThread::ForNextCall();
    thread->Post([shared, call = std::move(call)]() mutable {
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->abandoned)
                return;
            shared->started = true;
        }
        Result result = call();
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->done.notify_all();
    });

    std::optional<QDeadlineTimer> driversTurn; // its allowance, once the spooler took the job
    JobProbe probe;
    std::unique_lock lock(shared->mutex);
    while (!shared->done.wait_for(lock, kPoll, [&shared] { return shared->result.has_value(); })) {
        if (ShowsWindow(thread->Id())) {
            deadline += kPoll.count();
            if (driversTurn)
                *driversTurn += kPoll.count();
            continue;
        }
        if (document && !driversTurn && document->Accepted())
            driversTurn = QDeadlineTimer(kDriverWithin);
        if (driversTurn) {
            if (!driversTurn->hasExpired()
                && (!deadline.hasExpired() || probe.Answering(document->Printer(), document->Calls().jobId)))
                continue;
        } else if (!deadline.hasExpired() || (document && !document->GiveUp())) {
            continue; // (a document the spooler took just now gets the driver's turn)
        }
        shared->abandoned = true;
        if (shared->started)
            thread->Hold();
        return std::nullopt;
    }
    return std::move(shared->result);
}

// The Windows spooler, asked through winspool and printed on by drawing the
// report's pages on a QPrinter, all on the spooler's thread.
class WindowsPrintService : public PrintService
{
public:
    explicit WindowsPrintService(QDeadlineTimer deadline);

    bool Reached() const override { return m_reached; }
    Trouble Silence() const override { return m_silence; }
    DefaultDestination Default() override;
    QPageSize DefaultPaper() override;
    QStringList Printers() override;
    Handover Submit(const Destination &destination, const LaidOutReport &report) override;
    std::optional<bool> IsWhole(const JobRef &job) override;
    bool Cancel(const JobRef &job, QDeadlineTimer deadline) override;
    QString ChooseCommand(const QString &) const override { return {}; }

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
    using Kind = Trouble::Kind;
    DefaultDestination found;
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
        found.trouble = name->second == ERROR_FILE_NOT_FOUND ? Trouble{Kind::NoneChosen, {}} : TroubleOf(name->second);
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
    if (!state)
        found.trouble = m_silence;
    else if (state->second == ERROR_INVALID_PRINTER_NAME)
        found.trouble.kind = Kind::Gone;
    else if (state->second != ERROR_SUCCESS)
        found.trouble = TroubleOf(state->second, found.destination.name);
    else
        found.destination = state->first;
    return found;
}

QPageSize WindowsPrintService::DefaultPaper()
{
    const DefaultDestination chosen = Default();
    if (chosen.trouble.kind != Trouble::Kind::None)
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

Handover WindowsPrintService::Submit(const Destination &destination, const LaidOutReport &report)
{
    const auto document = std::make_shared<DocumentProgress>(destination.name);
    // The pages are drawn on the printer on the spooler's own thread, from
    // the report's own copy of its lines.
    const auto answer = Ask(
        [name = destination.name, report, document] {
            const bool watched = WatchDocumentCalls();
            Handover job;
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
    Handover silent;
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
