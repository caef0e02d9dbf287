#include "DefaultPrinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cups/cups.h>

#include <array>
#include <optional>

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

// Honours CUPS_SERVER, PRINTER, LPDEST and lpoptions the way lp does.
DestPtr DefaultDestination()
{
    return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
}

QString NotPrinted(const QString &because)
{
    return QStringLiteral("The report could not be printed because %1.").arg(because);
}

PrintResult Failure(const QString &detail)
{
    return {PrintResult::Status::Failed, detail};
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

// cupsGetNamedDest says "not found" both when no default is set and when the
// scheduler cannot be reached, so ask it something to tell the two apart.
bool SpoolerAnswers()
{
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
    return cupsLastError() != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
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
QPageSize DefaultMedia()
{
    const DestPtr dest = DefaultDestination();
    if (!dest)
        return QPageSize();
    const pwg_media_t *media = MediaNamed(cupsGetOption("media", dest->num_options, dest->options));
    if (!media) {
        const DestInfoPtr info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
        if (!info)
            return QPageSize();
        ipp_attribute_t *fallback = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest.get(), info.get(), CUPS_MEDIA);
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

// Sends the PDF as one job; returns the failure sentence, empty on success.
QString Submit(cups_dest_t *dest, const QString &pdf, const QString &jobName, int *jobId)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return NotPrinted(QStringLiteral("its temporary file could not be read"));

    const DestInfoPtr info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest));
    if (!info)
        return RefusalOf(dest, cupsLastError(), CupsText());

    const QByteArray title = jobName.toUtf8();
    int id = 0;
    // The destination's options carry the user's saved defaults, as lp sends them.
    const ipp_status_t created = cupsCreateDestJob(CUPS_HTTP_DEFAULT, dest, info.get(), &id, title.constData(),
                                                   dest->num_options, dest->options);
    if (!Succeeded(created) || id <= 0)
        return RefusalOf(dest, cupsLastError(), CupsText());

    QString failure;
    http_status_t sent = cupsStartDestDocument(CUPS_HTTP_DEFAULT, dest, info.get(), id, title.constData(),
                                               CUPS_FORMAT_PDF, 0, nullptr, 1);
    if (sent != HTTP_STATUS_CONTINUE) {
        failure = RefusalOf(dest, cupsLastError(), CupsText());
    } else {
        std::array<char, 65536> buffer{};
        qint64 got = 0;
        while (sent == HTTP_STATUS_CONTINUE && (got = file.read(buffer.data(), buffer.size())) > 0)
            sent = cupsWriteRequestData(CUPS_HTTP_DEFAULT, buffer.data(), static_cast<size_t>(got));
        // Always read the answer, or the connection is left mid-request.
        const ipp_status_t finished = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, dest, info.get());
        if (got < 0)
            failure = NotPrinted(QStringLiteral("its temporary file could not be read"));
        else if (sent != HTTP_STATUS_CONTINUE || !Succeeded(finished))
            failure = RefusalOf(dest, cupsLastError(), CupsText());
    }

    if (!failure.isEmpty()) {
        // A job without its document would only sit in the queue.
        cupsCancelDestJob(CUPS_HTTP_DEFAULT, dest, id);
        return failure;
    }
    *jobId = id;
    return QString();
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
    m_page.SetPageSize(DefaultMedia());
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
    } else if (const DestPtr dest = DefaultDestination(); !dest) {
        const ipp_status_t why = cupsLastError();
        const QString cupsText = CupsText();
        if (!SpoolerAnswers())
            result = Failure(NotPrinted(QStringLiteral("the print service is not running")));
        else if (why == IPP_STATUS_ERROR_NOT_FOUND)
            result = Save(pdf, jobName);
        else
            result = Failure(NotPrinted(QStringLiteral("the default printer could not be found (%1)").arg(cupsText)));
    } else if (OptionOf(dest.get(), "printer-is-accepting-jobs") == QLatin1String("false")) {
        result = Failure(RefusalOf(dest.get(), IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS, QString()));
    } else if (OptionOf(dest.get(), "printer-state") == QString::number(IPP_PSTATE_STOPPED)) {
        // A stopped queue takes the job and holds it; it would come out
        // unexpectedly whenever someone restarts the printer.
        result = Failure(NotPrinted(QStringLiteral("the printer \"%1\" is stopped").arg(NameOf(dest.get()))));
    } else {
        int jobId = 0;
        const QString failure = Submit(dest.get(), pdf, jobName, &jobId);
        if (failure.isEmpty()) {
            m_lastJobId = jobId;
            result = {PrintResult::Status::Printed,
                      QStringLiteral("Sent to the printer \"%1\" as job %2.").arg(NameOf(dest.get())).arg(jobId)};
        } else {
            result = Failure(failure);
        }
    }

    m_tempDir.reset(); // removes the PDF whatever became of it
    m_page.SetFilePath(QString());
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
