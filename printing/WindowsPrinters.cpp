// Asks winspool about printers and their jobs.

#include "WindowsPrinters.h"

#include <QSizeF>

#include <algorithm>
#include <iterator>

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

std::optional<std::vector<BYTE>> PrinterInfo(HANDLE printer, DWORD *error)
{
    return Filled([printer](BYTE *buffer, DWORD size, DWORD *needed) {
        return GetPrinterW(printer, 2, buffer, size, needed) != FALSE;
    },
                  error);
}

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
