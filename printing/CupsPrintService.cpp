// The print service on Linux: the CUPS scheduler, asked through libcups,
// and the user's choice of default printer as lp makes it.

#include "PrintService.h"

#include <QDir>
#include <QFile>
#include <QSizeF>

#include <cups/cups.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct FreeDest
{
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
};
using DestPtr = std::unique_ptr<cups_dest_t, FreeDest>;

struct FreeDestInfo
{
    void operator()(cups_dinfo_t *info) const { cupsFreeDestInfo(info); }
};
using DestInfoPtr = std::unique_ptr<cups_dinfo_t, FreeDestInfo>;

// How often a silent service is checked against the deadline.
constexpr double kPollSeconds = 0.1;

bool Succeeded(ipp_status_t status)
{
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

// CUPS's own words for the last error, ready to go inside a sentence.
QString CupsText()
{
    QString text = QString::fromUtf8(cupsLastErrorString()).trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// Media names come as PWG names ("na_letter_8.5x11in"), or as PPD or older
// names ("Letter") when a user saved one with lpoptions.
const pwg_media_t *MediaNamed(const char *value)
{
    if (!value || !*value)
        return nullptr;
    const QByteArray name = QByteArray(value).split(',').constFirst(); // "Letter,Tray1"
    const pwg_media_t *media = pwgMediaForPWG(name.constData());
    if (!media)
        media = pwgMediaForPPD(name.constData());
    if (!media)
        media = pwgMediaForLegacy(name.constData());
    return media;
}

// A printer's queue: its name less any "/instance".
QByteArray QueueOf(const QString &printer)
{
    return printer.section(QLatin1Char('/'), 0, 0).toUtf8();
}

// The address of a resource ("/printers/office", "/jobs/12") on the scheduler.
std::array<char, HTTP_MAX_URI> SchedulerUri(const QByteArray &resource)
{
    std::array<char, HTTP_MAX_URI> uri{};
    httpAssembleURI(HTTP_URI_CODING_ALL, uri.data(), static_cast<int>(uri.size()), "ipp", nullptr, "localhost",
                    ippPort(), resource.constData());
    return uri;
}

// "queue" or "queue/instance", as lp names it.
QString NameOf(const cups_dest_t *dest)
{
    QString name = QString::fromUtf8(dest->name);
    if (dest->instance)
        name += QLatin1Char('/') + QString::fromUtf8(dest->instance);
    return name;
}

QString OptionOf(const cups_dest_t *dest, const char *name)
{
    return QString::fromUtf8(cupsGetOption(name, dest->num_options, dest->options));
}

Destination::State StateOf(const cups_dest_t *dest)
{
    if (OptionOf(dest, "printer-is-accepting-jobs") == QLatin1String("false"))
        return Destination::State::NotAccepting;
    // A stopped queue takes the job and holds it.
    if (OptionOf(dest, "printer-state") == QString::number(IPP_PSTATE_STOPPED))
        return Destination::State::Stopped;
    // What the printer itself reports, as its backend passes it on. (A
    // printer that simply does not answer shows nothing here.)
    const QStringList reasons = OptionOf(dest, "printer-state-reasons").split(QLatin1Char(','));
    if (std::any_of(reasons.cbegin(), reasons.cend(),
                    [](const QString &reason) { return reason == QLatin1String("offline-report"); }))
        return Destination::State::Offline;
    if (std::any_of(reasons.cbegin(), reasons.cend(),
                    [](const QString &reason) { return reason.endsWith(QLatin1String("-error")); }))
        return Destination::State::InError;
    return Destination::State::Ready;
}

// The default printer that the user's own settings name, and where they
// name it (as it follows "set"), looked for in libcups's order. An empty
// name leaves the choice to the print service.
struct Choice
{
    QString name;
    QString setWhere;
};

QString LpoptionsDefault(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().simplified().split(' '); // "Default name[/instance] options"
        if (words.size() >= 2 && words[0].compare("Default", Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(words[1]);
    }
    return QString();
}

Choice ChosenDefault()
{
    if (qEnvironmentVariableIsSet("LPDEST"))
        return {qEnvironmentVariable("LPDEST"), QStringLiteral("by the LPDEST environment variable")};
    // PRINTER=lp is an old convention for "the default", not a queue name.
    if (qEnvironmentVariableIsSet("PRINTER") && qgetenv("PRINTER") != "lp")
        return {qEnvironmentVariable("PRINTER"), QStringLiteral("by the PRINTER environment variable")};
    const QString files[] = {QDir::homePath() + QStringLiteral("/.cups/lpoptions"),
                             qEnvironmentVariable("CUPS_SERVERROOT", QStringLiteral("/etc/cups"))
                                 + QStringLiteral("/lpoptions")};
    for (const QString &file : files) {
        if (const QString name = LpoptionsDefault(file); !name.isEmpty())
            return {name, QStringLiteral("in ") + file};
    }
    return {};
}

// A connection of our own to the CUPS scheduler, with one deadline for
// everything asked over it. libcups keeps its last error per thread.
class CupsPrintService : public PrintService
{
public:
    explicit CupsPrintService(QDeadlineTimer deadline);
    ~CupsPrintService() override;
    CupsPrintService(const CupsPrintService &) = delete;
    CupsPrintService &operator=(const CupsPrintService &) = delete;

    bool Reached() const override { return m_http != nullptr; }
    Trouble Silence() const override { return {m_gaveUp ? Trouble::Kind::Silent : Trouble::Kind::None, {}}; }
    DefaultDestination Default() override;
    QPageSize DefaultPaper() override;
    QStringList Printers() override;
    SubmittedJob SubmitJob(const Destination &destination, const LaidOutReport &report) override;
    std::optional<bool> IsWhole(const JobRef &job) override;
    bool Cancel(const JobRef &job, QDeadlineTimer deadline) override;
    QString WhereToChoose(const QString &printer) const override
    {
        // The command on a line of its own: a message box would wrap it at
        // its hyphen.
        return QStringLiteral("in the desktop's printer settings, or with the command:\nlpoptions -d ") + printer;
    }

private:
    static int KeepWaiting(http_t *, void *service);
    // Connected, and no question left unanswered at the deadline.
    bool Answering() const { return m_http && !m_gaveUp; }
    // The destination lp would print on (LPDEST, PRINTER, lpoptions, then
    // the service's default); null when there is none or no answer.
    DestPtr DefaultDest();
    // Asks about one printer by name, or with an empty name about the
    // service's default, and answers the service's status and the response.
    ipp_status_t Ask(const QString &printer, const char *attribute = nullptr, int *value = nullptr);
    // What went wrong with the last question, for when it did.
    Trouble LastTrouble() const;

    QDeadlineTimer m_deadline;
    http_t *m_http = nullptr;
    bool m_gaveUp = false;
    DestPtr m_default; // as Default() last found it
};

CupsPrintService::CupsPrintService(QDeadlineTimer deadline)
    : m_deadline(deadline)
{
    // libcups's shared connection waits for as long as a scheduler that
    // takes connections but never answers them lets it: minutes.
    const int connectMs = static_cast<int>(std::max<qint64>(1, m_deadline.remainingTime()));
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, connectMs, nullptr);
    if (m_http)
        httpSetTimeout(m_http, kPollSeconds, &CupsPrintService::KeepWaiting, this);
    else
        m_gaveUp = m_deadline.hasExpired();
}

CupsPrintService::~CupsPrintService()
{
    if (m_http)
        httpClose(m_http);
}

int CupsPrintService::KeepWaiting(http_t *, void *service)
{
    auto *self = static_cast<CupsPrintService *>(service);
    if (!self->m_deadline.hasExpired())
        return 1;
    self->m_gaveUp = true;
    return 0;
}

Trouble CupsPrintService::LastTrouble() const
{
    // libcups leaves the last status as it was when an answer never comes,
    // so silence and a broken connection are asked about first.
    if (!Answering())
        return {Trouble::Kind::Silent, {}};
    if (const int error = httpError(m_http))
        return {Trouble::Kind::BrokenOff, QString::fromLocal8Bit(std::strerror(error))};
    switch (cupsLastError()) {
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        return {Trouble::Kind::NotRunning, {}};
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return {Trouble::Kind::NotAccepting, {}};
    default:
        return {Trouble::Kind::Refused, CupsText()};
    }
}

DestPtr CupsPrintService::DefaultDest()
{
    if (!Answering())
        return nullptr;
    return DestPtr(cupsGetNamedDest(m_http, nullptr, nullptr));
}

DefaultDestination CupsPrintService::Default()
{
    using Kind = Trouble::Kind;
    using Outcome = DefaultDestination::Outcome;
    DefaultDestination answer;
    m_default = DefaultDest();
    if (m_default) {
        answer.destination = {NameOf(m_default.get()), StateOf(m_default.get()), 0};
        if (answer.destination.state != Destination::State::Ready)
            Ask(answer.destination.name, "queued-job-count", &answer.destination.waiting);
        return answer;
    }
    // cupsGetNamedDest says "not found" whatever kept it from a
    // destination, so this asks plainly.
    const Choice choice = ChosenDefault();
    const ipp_status_t why = Ask(choice.name);
    answer.outcome = Outcome::Failed;
    if (m_gaveUp)
        answer.trouble.kind = Kind::Silent;
    else if (why == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE)
        answer.trouble.kind = Kind::NotRunning;
    else if (why == IPP_STATUS_ERROR_NOT_FOUND && choice.name.isEmpty())
        answer.outcome = Outcome::NoneChosen;
    else if (why == IPP_STATUS_ERROR_NOT_FOUND)
        answer = {Outcome::Gone, {}, {choice.name, {}, 0}, choice.setWhere};
    else
        answer.trouble = {Kind::Refused, LastTrouble().words};
    return answer;
}

ipp_status_t CupsPrintService::Ask(const QString &printer, const char *attribute, int *value)
{
    if (!Answering())
        return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    ipp_t *request = nullptr;
    if (printer.isEmpty()) {
        request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
    } else {
        const auto uri = SchedulerUri("/printers/" + QueueOf(printer));
        request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.data());
    }
    if (attribute)
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, attribute);
    ipp_t *response = cupsDoRequest(m_http, request, "/");
    if (ipp_attribute_t *found = attribute && value ? ippFindAttribute(response, attribute, IPP_TAG_INTEGER) : nullptr)
        *value = ippGetInteger(found, 0);
    ippDelete(response);
    return cupsLastError();
}

QStringList CupsPrintService::Printers()
{
    QStringList names;
    if (!Answering())
        return names;
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    ipp_t *response = cupsDoRequest(m_http, request, "/");
    for (ipp_attribute_t *attr = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); attr;
         attr = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME))
        names.append(QString::fromUtf8(ippGetString(attr, 0, nullptr)));
    ippDelete(response);
    return names;
}

// Lay out on the paper the printer is loaded with by default, so nothing
// near the bottom margin is lost when the sizes differ. cupsGetDestMediaDefault
// is no help here: without a saved "media" option it answers Letter for every
// printer.
QPageSize CupsPrintService::DefaultPaper()
{
    const DestPtr dest = DefaultDest();
    if (!dest)
        return QPageSize();
    const pwg_media_t *media = MediaNamed(cupsGetOption("media", dest->num_options, dest->options));
    if (!media) {
        const DestInfoPtr info(cupsCopyDestInfo(m_http, dest.get()));
        if (!info)
            return QPageSize();
        ipp_attribute_t *fallback = cupsFindDestDefault(m_http, dest.get(), info.get(), CUPS_MEDIA);
        media = MediaNamed(fallback ? ippGetString(fallback, 0, nullptr) : nullptr);
    }
    if (!media || media->width <= 0 || media->length <= 0)
        return QPageSize();
    // PWG sizes are in hundredths of a millimetre.
    return QPageSize(QSizeF(media->width / 100.0, media->length / 100.0), QPageSize::Millimeter, QString(),
                     QPageSize::FuzzyMatch);
}

SubmittedJob CupsPrintService::SubmitJob(const Destination &destination, const LaidOutReport &report)
{
    SubmittedJob job;
    QFile file(report.pdf);
    if (!file.open(QIODevice::ReadOnly)) {
        job.trouble.kind = Trouble::Kind::FileUnreadable;
        return job;
    }
    // The destination as lp would print on it, with the user's saved options.
    if (!m_default || NameOf(m_default.get()) != destination.name)
        m_default = DefaultDest();
    cups_dest_t *dest = m_default.get();
    if (!dest || NameOf(dest) != destination.name) {
        job.trouble = LastTrouble();
        return job;
    }
    const DestInfoPtr info(Answering() ? cupsCopyDestInfo(m_http, dest) : nullptr);
    if (!info) {
        job.trouble = LastTrouble();
        return job;
    }

    const QByteArray title = report.jobName.toUtf8();
    // The destination's options carry the user's saved defaults, as lp sends them.
    const ipp_status_t created = cupsCreateDestJob(m_http, dest, info.get(), &job.jobId, title.constData(),
                                                   dest->num_options, dest->options);
    if (!Succeeded(created) || job.jobId <= 0) {
        job.jobId = std::max(job.jobId, 0);
        job.trouble = LastTrouble();
        return job;
    }

    http_status_t sent = cupsStartDestDocument(m_http, dest, info.get(), job.jobId, title.constData(),
                                               CUPS_FORMAT_PDF, 0, nullptr, 1);
    if (sent != HTTP_STATUS_CONTINUE) {
        job.trouble = LastTrouble();
        return job;
    }
    std::array<char, 65536> buffer{};
    qint64 got = 0;
    while (sent == HTTP_STATUS_CONTINUE && (got = file.read(buffer.data(), buffer.size())) > 0)
        sent = cupsWriteRequestData(m_http, buffer.data(), static_cast<size_t>(got));
    // The empty last chunk ends the document; once it is out, the service
    // has everything it needs to print, answer or not.
    job.whole = sent == HTTP_STATUS_CONTINUE && got == 0 && httpWrite2(m_http, "", 0) >= 0;
    // Always read the answer, or the connection is left mid-request.
    const ipp_status_t finished = cupsFinishDestDocument(m_http, dest, info.get());
    if (got < 0)
        job.trouble.kind = Trouble::Kind::FileUnreadable;
    else if (sent != HTTP_STATUS_CONTINUE || !Succeeded(finished) || m_gaveUp || httpError(m_http))
        job.trouble = LastTrouble();
    return job;
}

std::optional<bool> CupsPrintService::IsWhole(const JobRef &job)
{
    if (!Answering())
        return std::nullopt;
    const auto uri = SchedulerUri("/jobs/" + QByteArray::number(job.id));
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.data());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "number-of-documents");
    ipp_t *response = cupsDoRequest(m_http, request, "/");
    std::optional<bool> whole;
    if (response && !m_gaveUp) {
        ipp_attribute_t *attr = ippFindAttribute(response, "number-of-documents", IPP_TAG_INTEGER);
        whole = attr && ippGetInteger(attr, 0) > 0;
    }
    ippDelete(response);
    return whole;
}

bool CupsPrintService::Cancel(const JobRef &job, QDeadlineTimer deadline)
{
    // Over a connection of its own, as the one that made the job may be
    // stuck mid-request.
    CupsPrintService canceller(deadline);
    if (!canceller.Answering())
        return false;
    cupsCancelJob2(canceller.m_http, QueueOf(job.printer).constData(), job.id, 0);
    return !canceller.m_gaveUp;
}

} // namespace

std::unique_ptr<PrintService> OpenPrintService(QDeadlineTimer deadline)
{
    return std::make_unique<CupsPrintService>(deadline);
}
