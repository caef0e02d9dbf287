#include "PrintService.h"

#include <QFile>
#include <QSizeF>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

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

} // namespace

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

PrintService::PrintService(QDeadlineTimer deadline)
    : m_deadline(deadline)
{
    // libcups's shared connection waits for as long as a scheduler that
    // takes connections but never answers them lets it: minutes.
    const int connectMs = static_cast<int>(std::max<qint64>(1, m_deadline.remainingTime()));
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, connectMs, nullptr);
    if (m_http)
        httpSetTimeout(m_http, kPollSeconds, &PrintService::KeepWaiting, this);
    else
        m_gaveUp = m_deadline.hasExpired();
}

PrintService::~PrintService()
{
    if (m_http)
        httpClose(m_http);
}

int PrintService::KeepWaiting(http_t *, void *service)
{
    auto *self = static_cast<PrintService *>(service);
    if (!self->m_deadline.hasExpired())
        return 1;
    self->m_gaveUp = true;
    return 0;
}

Trouble PrintService::LastTrouble() const
{
    // libcups leaves the last status as it was when an answer never comes,
    // so silence and a broken connection are asked about first.
    if (m_gaveUp || !m_http)
        return {Trouble::Kind::Silent, IPP_STATUS_OK, {}};
    if (const int error = httpError(m_http))
        return {Trouble::Kind::BrokenOff, IPP_STATUS_OK, QString::fromLocal8Bit(std::strerror(error))};
    return {Trouble::Kind::Refused, cupsLastError(), CupsText()};
}

DestPtr PrintService::DefaultDestination()
{
    if (!m_http || m_gaveUp)
        return nullptr;
    return DestPtr(cupsGetNamedDest(m_http, nullptr, nullptr));
}

// cupsGetNamedDest says "not found" whatever kept it from a destination, so
// this asks plainly.
ipp_status_t PrintService::Ask(const QString &printer)
{
    if (!m_http || m_gaveUp)
        return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    ipp_t *request = nullptr;
    if (printer.isEmpty()) {
        request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
    } else {
        std::array<char, HTTP_MAX_URI> uri{};
        const QByteArray queue = printer.section(QLatin1Char('/'), 0, 0).toUtf8(); // less any "/instance"
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri.data(), static_cast<int>(uri.size()), "ipp", nullptr, "localhost",
                         ippPort(), "/printers/%s", queue.constData());
        request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.data());
    }
    ippDelete(cupsDoRequest(m_http, request, "/"));
    return cupsLastError();
}

QStringList PrintService::Printers()
{
    QStringList names;
    if (!m_http || m_gaveUp)
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
QPageSize PrintService::DefaultPaper()
{
    const DestPtr dest = DefaultDestination();
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

Handover PrintService::Submit(cups_dest_t *dest, const QString &pdf, const QString &jobName)
{
    Handover job;
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly)) {
        job.trouble.kind = Trouble::Kind::FileUnreadable;
        return job;
    }
    const DestInfoPtr info(m_http && !m_gaveUp ? cupsCopyDestInfo(m_http, dest) : nullptr);
    if (!info) {
        job.trouble = LastTrouble();
        return job;
    }

    const QByteArray title = jobName.toUtf8();
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

std::optional<int> PrintService::DocumentsOf(int jobId)
{
    if (!m_http || m_gaveUp)
        return std::nullopt;
    std::array<char, HTTP_MAX_URI> uri{};
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri.data(), static_cast<int>(uri.size()), "ipp", nullptr, "localhost",
                     ippPort(), "/jobs/%d", jobId);
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.data());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "number-of-documents");
    ipp_t *response = cupsDoRequest(m_http, request, "/");
    std::optional<int> documents;
    if (response && !m_gaveUp) {
        ipp_attribute_t *attr = ippFindAttribute(response, "number-of-documents", IPP_TAG_INTEGER);
        documents = attr ? ippGetInteger(attr, 0) : 0;
    }
    ippDelete(response);
    return documents;
}

bool PrintService::Cancel(const QByteArray &queue, int jobId, QDeadlineTimer deadline)
{
    PrintService canceller(deadline);
    if (!canceller.Reached() || canceller.GaveUp())
        return false;
    cupsCancelJob2(canceller.m_http, queue.constData(), jobId, 0);
    return !canceller.GaveUp();
}
