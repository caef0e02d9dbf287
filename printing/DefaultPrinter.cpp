#include "DefaultPrinter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cups/cups.h>

#include <algorithm>
#include <array>
#include <chrono>
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

// How long the print service may keep a report waiting: once for the paper
// lookup as the report begins, once for handing it over at its end. A silent
// service is given up on at the first, so an operator waits this long, not
// twice this long.
constexpr std::chrono::milliseconds kAnswerWithin{7000};
// Cancelling a job that went wrong may wait only briefly on top of that.
constexpr std::chrono::milliseconds kCancelWithin{1000};
// How often a silent service is checked against the deadline.
constexpr double kPollSeconds = 0.25;

// A connection of our own to the print service, with one deadline for all
// that is asked over it. libcups's shared connection waits for as long as a
// scheduler that takes connections but never answers them lets it: minutes.
class Spooler
{
public:
    explicit Spooler(std::chrono::milliseconds answerWithin)
        : m_deadline(answerWithin)
    {
        // Honours CUPS_SERVER and client.conf the way lp does.
        const int connectMs = static_cast<int>(std::max<qint64>(1, m_deadline.remainingTime()));
        m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, connectMs, nullptr);
        if (m_http)
            httpSetTimeout(m_http, kPollSeconds, &Spooler::KeepWaiting, this);
        else
            m_gaveUp = m_deadline.hasExpired();
    }
    ~Spooler()
    {
        if (m_http)
            httpClose(m_http);
    }
    Spooler(const Spooler &) = delete;
    Spooler &operator=(const Spooler &) = delete;

    // Null when the service could not be reached at all.
    http_t *Http() const { return m_http; }

    // True once the deadline passed with a question unanswered; everything
    // asked over this connection since then has failed at once.
    bool GaveUp() const { return m_gaveUp; }

private:
    static int KeepWaiting(http_t *, void *spooler)
    {
        auto *self = static_cast<Spooler *>(spooler);
        if (!self->m_deadline.hasExpired())
            return 1;
        self->m_gaveUp = true;
        return 0;
    }

    QDeadlineTimer m_deadline;
    http_t *m_http = nullptr;
    bool m_gaveUp = false;
};

QString NotPrinted(const QString &because)
{
    return QStringLiteral("The report could not be printed because %1.").arg(because);
}

PrintResult Failure(const QString &detail)
{
    return {PrintResult::Status::Failed, detail};
}

QString NoAnswer()
{
    return NotPrinted(QStringLiteral("the print service does not answer"));
}

// CUPS's own words for the last error, ready to go inside a sentence.
QString CupsText()
{
    QString text = QString::fromUtf8(cupsLastErrorString()).trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

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

// The default printer that the user's own settings name, with where they
// name it ("by the PRINTER environment variable", "in /etc/cups/lpoptions"),
// looked for in libcups's order. An empty name leaves the choice to the
// print service.
struct DefaultChoice
{
    QString name;
    QString where;
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

DefaultChoice ChosenDefault()
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
            return {name, QStringLiteral("in ") + QDir::toNativeSeparators(file)};
    }
    return {};
}

// cupsGetNamedDest says "not found" whatever kept it from a destination, so
// ask again plainly: about the printer by name, or with no name for the
// service's default. Answers the service's status.
ipp_status_t Ask(const Spooler &spooler, const QString &printer)
{
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
    ippDelete(cupsDoRequest(spooler.Http(), request, "/"));
    return cupsLastError();
}

bool Succeeded(ipp_status_t status)
{
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
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

// Lay out on the paper the printer is loaded with by default, so nothing
// near the bottom margin is lost when the sizes differ. cupsGetDestMediaDefault
// is no help here: without a saved "media" option it answers Letter for every
// printer.
QPageSize DefaultMedia(const Spooler &spooler)
{
    http_t *http = spooler.Http();
    if (!http)
        return QPageSize();
    // Honours PRINTER, LPDEST and lpoptions the way lp does.
    const DestPtr dest(cupsGetNamedDest(http, nullptr, nullptr));
    if (!dest)
        return QPageSize();
    const pwg_media_t *media = MediaNamed(cupsGetOption("media", dest->num_options, dest->options));
    if (!media) {
        const DestInfoPtr info(cupsCopyDestInfo(http, dest.get()));
        if (!info)
            return QPageSize();
        ipp_attribute_t *fallback = cupsFindDestDefault(http, dest.get(), info.get(), CUPS_MEDIA);
        media = MediaNamed(fallback ? ippGetString(fallback, 0, nullptr) : nullptr);
    }
    if (!media || media->width <= 0 || media->length <= 0)
        return QPageSize();
    // PWG sizes are in hundredths of a millimetre.
    return QPageSize(QSizeF(media->width / 100.0, media->length / 100.0), QPageSize::Millimeter, QString(),
                     QPageSize::FuzzyMatch);
}

// Why the spooler turned the job down, in words for the person printing.
QString RefusalOf(const cups_dest_t *dest, ipp_status_t status, const QString &cupsText)
{
    switch (status) {
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        return NotPrinted(QStringLiteral("the print service is not running"));
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return NotPrinted(QStringLiteral("the printer \"%1\" is not accepting jobs").arg(NameOf(dest)));
    default:
        return NotPrinted(QStringLiteral("the printer \"%1\" refused the job (%2)").arg(NameOf(dest), cupsText));
    }
}

// A job as far as it got: its id once the spooler made one, and the failure
// sentence, empty when the whole document went through.
struct Submitted
{
    int jobId = 0;
    QString failure;
};

Submitted Submit(const Spooler &spooler, cups_dest_t *dest, const QString &pdf, const QString &jobName)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return {0, NotPrinted(QStringLiteral("its temporary file could not be read"))};

    http_t *http = spooler.Http();
    // libcups leaves the last status as it was when an answer never comes,
    // so silence and a broken connection are asked about first.
    const auto refusal = [&spooler, http, dest] {
        if (spooler.GaveUp())
            return NoAnswer();
        if (const int error = httpError(http))
            return NotPrinted(QStringLiteral("the connection to the print service broke off (%1)")
                                  .arg(QString::fromLocal8Bit(std::strerror(error))));
        return RefusalOf(dest, cupsLastError(), CupsText());
    };
    const DestInfoPtr info(cupsCopyDestInfo(http, dest));
    if (!info)
        return {0, refusal()};

    const QByteArray title = jobName.toUtf8();
    int id = 0;
    // The destination's options carry the user's saved defaults, as lp sends them.
    const ipp_status_t created = cupsCreateDestJob(http, dest, info.get(), &id, title.constData(),
                                                   dest->num_options, dest->options);
    if (!Succeeded(created) || id <= 0)
        return {0, refusal()};

    QString failure;
    http_status_t sent = cupsStartDestDocument(http, dest, info.get(), id, title.constData(), CUPS_FORMAT_PDF, 0,
                                               nullptr, 1);
    if (sent != HTTP_STATUS_CONTINUE) {
        failure = refusal();
    } else {
        std::array<char, 65536> buffer{};
        qint64 got = 0;
        while (sent == HTTP_STATUS_CONTINUE && (got = file.read(buffer.data(), buffer.size())) > 0)
            sent = cupsWriteRequestData(http, buffer.data(), static_cast<size_t>(got));
        // Always read the answer, or the connection is left mid-request.
        const ipp_status_t finished = cupsFinishDestDocument(http, dest, info.get());
        if (got < 0)
            failure = NotPrinted(QStringLiteral("its temporary file could not be read"));
        else if (sent != HTTP_STATUS_CONTINUE || !Succeeded(finished) || spooler.GaveUp() || httpError(http))
            failure = refusal();
    }
    return {id, failure};
}

// Cancels a job over a fresh connection, as the one that made it may be stuck
// mid-request; false when the service did not answer.
bool Cancel(const QByteArray &queue, int jobId)
{
    const Spooler canceller(kCancelWithin);
    if (!canceller.Http())
        return false;
    cupsCancelJob2(canceller.Http(), queue.constData(), jobId, 0);
    return !canceller.GaveUp();
}

} // namespace

DefaultPrinter::DefaultPrinter() = default;

DefaultPrinter::~DefaultPrinter() = default;

void DefaultPrinter::Prepare()
{
    if (m_page.DocumentOpen())
        return;
    m_tempDir.reset();
    m_tempProblem.clear();
    // Qt answers an empty path when TMPDIR names a missing folder; a
    // temporary folder made from that would land in the root directory.
    const QString tempRoot = QDir::tempPath();
    if (tempRoot.isEmpty()) {
        m_tempProblem = NotPrinted(QStringLiteral("the temporary folder \"%1\" does not exist")
                                       .arg(qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"))));
    } else {
        m_tempDir = std::make_unique<QTemporaryDir>(tempRoot + QStringLiteral("/plendrik-print-XXXXXX"));
        if (!m_tempDir->isValid())
            m_tempProblem = NotPrinted(QStringLiteral("no temporary file could be made in \"%1\" (%2)")
                                           .arg(QDir::toNativeSeparators(tempRoot), m_tempDir->errorString()));
    }
    m_page.SetFilePath(m_tempProblem.isEmpty() ? m_tempDir->filePath(QStringLiteral("report.pdf")) : QString());
    const Spooler spooler(kAnswerWithin);
    m_page.SetPageSize(DefaultMedia(spooler));
    m_spoolerSilent = spooler.GaveUp();
}

double DefaultPrinter::ColumnsOf(const QString &text)
{
    Prepare();
    return m_page.ColumnsOf(text);
}

double DefaultPrinter::PrintAt(double column, const QString &text)
{
    Prepare();
    return m_page.PrintAt(column, text);
}

void DefaultPrinter::NewLine()
{
    Prepare();
    m_page.NewLine();
}

PrintResult DefaultPrinter::EndDoc(const QString &jobName)
{
    Prepare();
    const PrintResult laidOut = m_page.EndDoc(jobName);
    const QString pdf = m_page.FilePath();

    PrintResult result;
    if (!m_tempProblem.isEmpty()) {
        result = Failure(m_tempProblem);
    } else if (laidOut.status != PrintResult::Status::Printed) {
        result = Failure(NotPrinted(QStringLiteral("its pages could not be written to the temporary folder \"%1\"")
                                        .arg(QDir::toNativeSeparators(m_tempDir->path()))));
    } else if (m_spoolerSilent) {
        // It kept the paper lookup at the top of this report waiting its
        // full time already, moments ago.
        result = Failure(NoAnswer());
    } else {
        result = Send(pdf, jobName);
    }

    m_tempDir.reset(); // removes the PDF whatever became of it
    m_page.SetFilePath(QString());
    m_spoolerSilent = false;
    return result;
}

PrintResult DefaultPrinter::Send(const QString &pdf, const QString &jobName)
{
    const Spooler spooler(kAnswerWithin);
    if (!spooler.Http())
        return Failure(spooler.GaveUp() ? NoAnswer() : NotPrinted(QStringLiteral("the print service is not running")));

    const DestPtr dest(cupsGetNamedDest(spooler.Http(), nullptr, nullptr));
    if (dest) {
        // The service answers again: cancel what it left half made before.
        m_unfinishedJobs.removeIf([](const std::pair<QByteArray, int> &job) { return Cancel(job.first, job.second); });
    }
    PrintResult result;
    if (!dest) {
        const DefaultChoice choice = ChosenDefault();
        // Asking again over a connection past its deadline still costs a second.
        const ipp_status_t why = spooler.GaveUp() ? IPP_STATUS_ERROR_SERVICE_UNAVAILABLE : Ask(spooler, choice.name);
        if (spooler.GaveUp())
            result = Failure(NoAnswer());
        else if (why == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE)
            result = Failure(NotPrinted(QStringLiteral("the print service is not running")));
        else if (why == IPP_STATUS_ERROR_NOT_FOUND && choice.name.isEmpty())
            result = Save(pdf, jobName);
        else if (why == IPP_STATUS_ERROR_NOT_FOUND)
            result = Failure(NotPrinted(
                QStringLiteral("the default printer \"%1\" (set %2) does not exist").arg(choice.name, choice.where)));
        else
            result = Failure(NotPrinted(QStringLiteral("the default printer could not be found (%1)").arg(CupsText())));
    } else if (OptionOf(dest.get(), "printer-is-accepting-jobs") == QLatin1String("false")) {
        result = Failure(RefusalOf(dest.get(), IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS, QString()));
    } else if (OptionOf(dest.get(), "printer-state") == QString::number(IPP_PSTATE_STOPPED)) {
        // A stopped queue takes the job and holds it; it would come out
        // unexpectedly whenever someone restarts the printer.
        result = Failure(NotPrinted(QStringLiteral("the printer \"%1\" is stopped").arg(NameOf(dest.get()))));
    } else {
        const Submitted job = Submit(spooler, dest.get(), pdf, jobName);
        if (job.failure.isEmpty()) {
            m_lastJobId = job.jobId;
            result = {PrintResult::Status::Printed,
                      QStringLiteral("Sent to the printer \"%1\" as job %2.").arg(NameOf(dest.get())).arg(job.jobId)};
        } else {
            // A job without all of its document would only sit in the queue,
            // or print after the operator was told it did not.
            if (job.jobId > 0 && !Cancel(dest->name, job.jobId))
                m_unfinishedJobs.append({QByteArray(dest->name), job.jobId});
            result = Failure(job.failure);
        }
    }
    return result;
}

PrintResult DefaultPrinter::Save(const QString &pdf, const QString &jobName) const
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return Failure(NotPrinted(QStringLiteral("no printer is set up, and the documents folder \"%1\" for "
                                                 "saving it instead could not be made")
                                      .arg(QDir::toNativeSeparators(folder))));
    const QString target = SavePathFor(folder, jobName, QDateTime::currentDateTime());
    if (!QFile::copy(pdf, target))
        return Failure(NotPrinted(QStringLiteral("no printer is set up, and saving it as \"%1\" instead failed")
                                      .arg(QDir::toNativeSeparators(target))));
    return {PrintResult::Status::SavedToFile, QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath())};
}

QString DefaultPrinter::SavePathFor(const QString &folder, const QString &jobName, const QDateTime &when)
{
    // Characters that no common file system takes in a name become dashes.
    QString name;
    for (const QChar c : jobName.simplified())
        name += (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) ? QLatin1Char('-') : c;
    if (name.isEmpty())
        name = QStringLiteral("Report");
    name += QLatin1Char(' ') + when.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));

    const QDir dir(folder);
    QString path = dir.filePath(name + QStringLiteral(".pdf"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2).pdf").arg(name).arg(n));
    return path;
}
