// What the Windows spooler's answers mean for a report.

#include "WindowsSpoolerAnswers.h"

#include <winspool.h>

#include <algorithm>

Destination::State StateOf(DWORD status, DWORD attributes, const std::vector<DWORD> &jobs)
{
    using State = Destination::State;
    const auto anyJob = [&jobs](DWORD flags) {
        return std::any_of(jobs.cbegin(), jobs.cend(), [flags](DWORD job) { return (job & flags) != 0; });
    };
    if (status & PRINTER_STATUS_PAUSED)
        return State::Paused;
    if ((status & (PRINTER_STATUS_OFFLINE | PRINTER_STATUS_SERVER_OFFLINE))
        || (attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) || anyJob(JOB_STATUS_OFFLINE))
        return State::Offline;
    if (status & PRINTER_STATUS_NOT_AVAILABLE)
        return State::NotAvailable;
    if ((status
         & (PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM | PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_PROBLEM
            | PRINTER_STATUS_NO_TONER | PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_USER_INTERVENTION))
        || anyJob(JOB_STATUS_ERROR | JOB_STATUS_PAPEROUT | JOB_STATUS_BLOCKED_DEVQ | JOB_STATUS_USER_INTERVENTION))
        return State::InError;
    if (status & PRINTER_STATUS_PENDING_DELETION)
        return State::NotAccepting;
    return State::Ready;
}

QString ServerOf(const QString &printer)
{
    if (!printer.startsWith(QLatin1String("\\\\")))
        return {};
    return printer.mid(2).section(QLatin1Char('\\'), 0, 0);
}

Trouble TroubleOf(DWORD error, const QString &printer)
{
    switch (error) {
    case RPC_S_SERVER_UNAVAILABLE:
    case RPC_S_CALL_FAILED:
    case ERROR_BAD_NETPATH:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_SEM_TIMEOUT:
        // This computer's spooler answered, and could not reach the server.
        if (const QString server = ServerOf(printer); !server.isEmpty())
            return {Trouble::Kind::ServerUnreachable, server};
        if (error == RPC_S_SERVER_UNAVAILABLE) // the Print Spooler service is stopped
            return {Trouble::Kind::NotRunning, {}};
        break;
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

Trouble TroubleOf(const DocumentCalls &calls)
{
    if (calls.error == ERROR_SUCCESS)
        return {};
    if (calls.error == ERROR_CANCELLED)
        return {Trouble::Kind::Cancelled, {}};
    return TroubleOf(calls.error);
}

QString WhereDefaultIsChosen()
{
    return QStringLiteral("in Settings, under Printers & scanners.");
}
