#pragma once

// Asking winspool about printers and their queues, on whichever thread calls:
// opening a printer by name, its settings, its jobs, its default paper.
// Built on Windows only.

#include <QPageSize>
#include <QString>

#include <windows.h>
#include <winspool.h>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

struct ClosePrinterHandle
{
    void operator()(HANDLE printer) const { ClosePrinter(printer); }
};
using PrinterHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, ClosePrinterHandle>;

// Null, with the spooler's error, when it cannot be opened.
PrinterHandle Open(const QString &name, DWORD *error);

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

// The printer's PRINTER_INFO_2.
std::optional<std::vector<BYTE>> PrinterInfo(HANDLE printer, DWORD *error);

// The jobs in a printer's queue, oldest first; their texts point into storage.
std::vector<JOB_INFO_1W> QueueOf(HANDLE printer, std::vector<BYTE> &storage);

// The paper of the user's default settings for a printer; invalid when unknown.
QPageSize PaperOf(HANDLE printer, const QString &name);

// The newest job of this user on this computer with this document name, 0
// if none: on a shared queue, a colleague's job of the same name is not ours.
int OurJobNamed(HANDLE printer, const QString &document);
