#pragma once

// The Windows spooler's own thread, and waiting for a call made on it.
// Built on Windows only.
//
// Its part in the threads (see WhileWindowWaits.h): the print service's
// calls come from DefaultPrinter's worker thread, and each is run in turn on
// the spooler thread, which also hosts the printer drivers' own windows. The
// spooler's calls cannot be given a deadline, so the worker waits for each
// until the report's deadline. A call given up on before it began never
// runs; one under way goes on alone, holding only its own copies (the
// printer's name, the report's lines), and the spooler thread it holds is
// left to it: later calls get a thread of their own, so a print server that
// never answers holds up nothing else.

#include "WindowsDocumentCalls.h"

#include <QDeadlineTimer>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// Runs task on the spooler's thread and waits for it until the deadline;
// false when it was given up on. While that thread shows a window, a printer
// driver is asking the operator something (where to save a file, say): that
// time does not count. For a document, the deadline is the spooler's until
// it has taken the job; the driver's work after that has an allowance of its
// own, as long as the spooler goes on answering.
bool RunOnSpoolerThread(std::function<void()> task, QDeadlineTimer &deadline,
                        const std::shared_ptr<DocumentProgress> &document = nullptr);

// The same for a call with an answer, which is empty when it was given up on.
template <typename Call>
std::optional<std::invoke_result_t<Call>> RunWithin(Call call, QDeadlineTimer &deadline,
                                                    const std::shared_ptr<DocumentProgress> &document = nullptr)
{
    // Shared, as a call given up on may still answer after the wait.
    const auto answer = std::make_shared<std::optional<std::invoke_result_t<Call>>>();
    if (!RunOnSpoolerThread([answer, call = std::move(call)]() mutable { *answer = call(); }, deadline, document))
        return std::nullopt;
    return std::move(*answer);
}
