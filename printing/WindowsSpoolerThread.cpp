// The thread every call into the Windows spooler runs on, and its deadline.

#include "WindowsSpoolerThread.h"

#include "WindowsPrinters.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

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
// call given up on while still running keeps it.
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

} // namespace

bool RunOnSpoolerThread(std::function<void()> task, QDeadlineTimer &deadline,
                        const std::shared_ptr<DocumentProgress> &document)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        bool started = false;
        bool finished = false;
        bool abandoned = false;
    };
    const auto shared = std::make_shared<Shared>();
    const std::shared_ptr<SpoolerThread> thread = SpoolerThread::ForNextCall();
    thread->Post([shared, task = std::move(task)] {
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->abandoned)
                return;
            shared->started = true;
        }
        task();
        const std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->done.notify_all();
    });

    std::optional<QDeadlineTimer> driversTurn; // its allowance, once the spooler took the job
    JobProbe probe;
    std::unique_lock lock(shared->mutex);
    while (!shared->done.wait_for(lock, kPoll, [&shared] { return shared->finished; })) {
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
        return false;
    }
    return true;
}
