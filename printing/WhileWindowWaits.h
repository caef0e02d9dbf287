#pragma once

// Waiting on the print service without freezing the window: the worker
// thread, the event loop that takes no input, and the busy pointer.
//
// The threads. The reports call DefaultPrinter on the window's thread. A
// question that may wait on the print service (the paper, as a report
// begins; the hand-over, at its end) runs in WhileWindowWaits on a worker
// thread of its own, one at a time, while the window's thread waits in an
// event loop that takes no input. The worker reads and writes DefaultPrinter's
// members directly; that needs no lock, because the window's thread touches
// them only before it starts the worker and after the worker has ended: input
// is held back meanwhile, so no command, another report say, can reach the
// printer. Every call of the service returns by the report's deadline,
// answered or not, so the worker always ends by then. What a call given up on
// at its deadline leaves running (the Windows spooler's thread, see
// WindowsSpoolerThread.h) holds only its own copies (the printer's name, the
// report's lines), never DefaultPrinter's members.

#include <functional>

// Runs work on a thread of its own and returns once it is done. Meanwhile the
// window goes on painting and answering the desktop, but keys, clicks and the
// title bar's close button wait until the work is done (the toolkit holds
// them back). Without an application, it just waits.
void WhileWindowWaits(const std::function<void()> &work);

// The busy pointer, for a report from its first line until its end or its
// message: the operator sees that the program is at work.
class BusyPointer
{
public:
    BusyPointer() = default;
    ~BusyPointer() { Hide(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

    // Shows it, once, where there are windows to show it over.
    void Show();
    void Hide();

private:
    bool m_shown = false;
};
