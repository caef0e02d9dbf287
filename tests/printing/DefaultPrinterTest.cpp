// Runs under with-cupsd.sh, which provides two private schedulers: one with
// the raw default queue (CUPS_SERVER) and one with no queue at all.

#include "DefaultPrinter.h"
#include "PdfText.h"
#include "SaveInDocuments.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cups/cups.h>

#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include <dlfcn.h>
#include <signal.h>

enum class Server { WithQueue, Empty, Down };
Q_DECLARE_METATYPE(Server)
// When the queue server is paused (SIGSTOP): it takes connections, never answers.
// SlowThenSilent: from the first line, woken 6 s later, paused before EndDoc.
enum class Pause { Never, FromFirstLine, BeforeEndDoc, AfterJobCreated, SlowThenSilent, AfterDocument };
Q_DECLARE_METATYPE(Pause)
Q_DECLARE_METATYPE(PrintResult::Status)

namespace {

const QString kJobName = "Listing of Data Entered";

// A small listing with figures right-aligned to end in column 41; returns
// the lines as pdftotext should give them back.
QStringList PrintSample(Printer &printer)
{
    const QStringList rows[] = {{"Household", "Members", "Income"}, {}, {"H-0001", "4", "1,200.50"},
                                {"H-0002", "2", "310.00"}};
    for (const QStringList &row : rows) {
        if (!row.isEmpty()) {
            printer.PrintAt(1, row[0]);
            printer.PrintAt(15, row[1]);
            printer.PrintAt(42 - row[2].size(), row[2]);
        }
        printer.NewLine();
    }
    return {"Household     Members              Income", "", "H-0001        4                  1,200.50",
            "H-0002        2                    310.00"};
}

// The spooler's number for a printed report's job, as the operator is told it.
int JobIdTold(const PrintResult &result)
{
    static const QRegularExpression job(R"( as job (\d+)\.$)");
    return job.match(result.detail).captured(1).toInt();
}

struct Job
{
    int id = 0;
    QString title;
    QString format;
    ipp_jstate_t state = IPP_JSTATE_PENDING;
};

// The queue server to pause as the next document is about to be sent, once
// the spooler has made its job, or once it is sent: moments no outside timing
// can hit.
pid_t g_pauseBeforeDocument = 0;
pid_t g_pauseBeforeAnswer = 0;

} // namespace

// Stands in front of libcups's own for the printer under test, pauses the
// server if asked to, and goes on to the real call.
extern "C" http_status_t cupsStartDestDocument(http_t *http, cups_dest_t *dest, cups_dinfo_t *info, int job_id,
                                               const char *docname, const char *format, int num_options,
                                               cups_option_t *options, int last_document)
{
    using Real = http_status_t (*)(http_t *, cups_dest_t *, cups_dinfo_t *, int, const char *, const char *, int,
                                   cups_option_t *, int);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cupsStartDestDocument"));
    if (const pid_t server = std::exchange(g_pauseBeforeDocument, 0))
        ::kill(server, SIGSTOP);
    return real(http, dest, info, job_id, docname, format, num_options, options, last_document);
}

extern "C" ipp_status_t cupsFinishDestDocument(http_t *http, cups_dest_t *dest, cups_dinfo_t *info)
{
    using Real = ipp_status_t (*)(http_t *, cups_dest_t *, cups_dinfo_t *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cupsFinishDestDocument"));
    if (const pid_t server = std::exchange(g_pauseBeforeAnswer, 0))
        ::kill(server, SIGSTOP);
    return real(http, dest, info);
}

class DefaultPrinterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void outcome_data();
    void outcome();
    void paperFollowsThePrinter_data();
    void paperFollowsThePrinter();
    void savePathFor_data();
    void savePathFor();

private:
    void UseServer(Server server);
    bool Run(const QStringList &command) const;
    std::optional<QList<Job>> Jobs() const;
    QString Documents() const { return QDir::home().filePath("Documents"); }
    QString SpoolFile(int jobId) const { return QString("%1/d%2-001").arg(m_spool).arg(jobId, 5, 10, QChar('0')); }

    QByteArray m_queueServer;
    QByteArray m_emptyServer;
    QString m_queue;
    QString m_spool;
    QString m_cupsHome;
    pid_t m_queueServerPid = 0;
    QTemporaryDir m_work;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_tmp;
};

void DefaultPrinterTest::initTestCase()
{
    m_queueServer = qgetenv("CUPS_SERVER");
    m_emptyServer = qgetenv("PLENDRIK_TEST_EMPTY_SERVER");
    m_queue = qEnvironmentVariable("PLENDRIK_TEST_QUEUE");
    m_spool = qEnvironmentVariable("PLENDRIK_TEST_SPOOL");
    m_queueServerPid = qEnvironmentVariableIntValue("PLENDRIK_TEST_CUPSD_PID");
    if (m_queueServer.isEmpty() || m_emptyServer.isEmpty() || m_queue.isEmpty() || m_spool.isEmpty()
        || m_queueServerPid <= 0)
        QFAIL("run this through tests/printing/with-cupsd.sh, which starts the schedulers it needs");
    QVERIFY(m_work.isValid());
    QFile file(m_work.filePath("a file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    // libcups takes HOME once, at its first call: make that the wrapper's
    // HOME rather than one of the per-test ones below.
    m_cupsHome = qEnvironmentVariable("HOME");
    cupsServer();
}

void DefaultPrinterTest::init()
{
    // A fresh HOME (no Documents folder yet) and TMPDIR for every test.
    m_home = std::make_unique<QTemporaryDir>(m_work.filePath("home-XXXXXX"));
    m_tmp = std::make_unique<QTemporaryDir>(m_work.filePath("tmp-XXXXXX"));
    QVERIFY(m_home->isValid() && m_tmp->isValid());
    qputenv("HOME", QFile::encodeName(m_home->path()));
    qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    UseServer(Server::WithQueue);
}

void DefaultPrinterTest::UseServer(Server server)
{
    const QByteArray down = QFile::encodeName(m_work.filePath("nobody-listens.sock"));
    qputenv("CUPS_SERVER", server == Server::WithQueue ? m_queueServer
                           : server == Server::Empty   ? m_emptyServer
                                                       : down);
    cupsSetServer(nullptr); // libcups reads CUPS_SERVER again on next use
}

bool DefaultPrinterTest::Run(const QStringList &command) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CUPS_SERVER", QFile::decodeName(m_queueServer));
    env.insert("HOME", m_cupsHome);
    env.insert("PATH", env.value("PATH") + ":/usr/sbin:/sbin");
    process.setProcessEnvironment(env);
    process.start(command.first(), command.mid(1));
    const bool ok = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning() << command << "failed:" << process.errorString() << process.readAllStandardError();
    return ok;
}

// Every job the queue server has seen, finished or not.
std::optional<QList<Job>> DefaultPrinterTest::Jobs() const
{
    http_t *http = httpConnect2(m_queueServer.constData(), ippPort(), nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
    if (!http)
        return std::nullopt;
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    httpClose(http);
    if (count < 0)
        return std::nullopt;
    QList<Job> list;
    for (int i = 0; i < count; ++i)
        list.append({jobs[i].id, QString::fromUtf8(jobs[i].title), QString::fromUtf8(jobs[i].format), jobs[i].state});
    cupsFreeJobs(count, jobs);
    return list;
}

void DefaultPrinterTest::outcome_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QStringList>("restore");
    QTest::addColumn<QString>("tempDir"); // in the work folder; empty for a fresh one
    QTest::addColumn<QStringList>("env");   // NAME=value, for this row only
    QTest::addColumn<Pause>("pause");
    QTest::addColumn<PrintResult::Status>("status");
    QTest::addColumn<QString>("detailHas");

    using enum PrintResult::Status;
    const QString queue = '"' + m_queue + '"';
    const QStringList none;
    QTest::newRow("accepted") << Server::WithQueue << none << none << QString() << none << Pause::Never << Printed
                              << queue;
    QTest::newRow("queue rejecting jobs") << Server::WithQueue << QStringList{"cupsreject", m_queue}
                                          << QStringList{"cupsaccept", m_queue} << QString() << none << Pause::Never
                                          << Failed << queue + " is not accepting jobs";
    QTest::newRow("queue stopped") << Server::WithQueue << QStringList{"cupsdisable", m_queue}
                                   << QStringList{"cupsenable", m_queue} << QString() << none << Pause::Never
                                   << Failed << queue + " is stopped";
    // What the printer reports of itself, with a report already waiting there.
    const QString reasons = QString("ipptool -q -d reasons=%2 ipp://%1/printers/%3 " PRINTING_TEST_DIR "/state-reasons.test")
                                .arg(QString(QUrl::toPercentEncoding(QFile::decodeName(m_queueServer))), "%1", m_queue);
    QTest::newRow("printer reports itself offline")
        << Server::WithQueue
        << QStringList{"sh", "-c", "lp -H indefinite /etc/hostname >/dev/null && " + reasons.arg("offline-report")}
        << QStringList{"sh", "-c", "cancel -a && " + reasons.arg("none")} << QString() << none << Pause::Never << Failed
        << queue + " is offline, with 1 job already waiting on it";
    QTest::newRow("no printer set up") << Server::Empty << none << none << QString() << none << Pause::Never
        << SavedToFile << "No printer is set up, so the report was saved as a PDF file:\n%FILE%";
    const QString onEmpty = "CUPS_SERVER=" + QFile::decodeName(m_emptyServer);
    QTest::newRow("printers, none the default")
        << Server::Empty << QStringList{"sh", "-c", onEmpty + " lpadmin -p office -E -v file:/dev/null"}
        << QStringList{"sh", "-c", onEmpty + " lpadmin -x office"} << QString() << none << Pause::Never << SavedToFile
        << "No default printer is chosen, so the report was saved as a PDF file:\n%FILE%\n\nThe printer set up is "
           "\"office\". To print on it, make it the default printer in the desktop's printer settings, or with the "
           "command:\nlpoptions -d office";
    QTest::newRow("print service down") << Server::Down << none << none << QString() << none << Pause::Never
                                        << Failed << "the print service is not running";
    QTest::newRow("temporary folder missing") << Server::WithQueue << none << none << "no such folder" << none
                                              << Pause::Never << Failed << "temporary folder";
    QTest::newRow("temporary folder is a file") << Server::WithQueue << none << none << "a file" << none
                                                << Pause::Never << Failed << "no temporary file could be made";

    // A paused scheduler takes the connection and never answers: the report
    // gives up on it in seconds, and prints once it is woken.
    const QString silent = "the print service does not answer";
    QTest::newRow("print service silent from the first line")
        << Server::WithQueue << none << none << QString() << none << Pause::FromFirstLine << Failed << silent;
    QTest::newRow("print service silent at the end")
        << Server::WithQueue << none << none << QString() << none << Pause::BeforeEndDoc << Failed << silent;
    // Silent with the whole document sent, it prints as the service wakes;
    // silent before it asked for the document, it never gets it.
    const QString mayPrint = "It may still print once the service answers again: check the printer before printing";
    QTest::newRow("print service silent with the document sent")
        << Server::WithQueue << none << none << QString() << none << Pause::AfterDocument << Unconfirmed << mayPrint;
    QTest::newRow("print service silent with the job made")
        << Server::WithQueue << none << none << QString() << none << Pause::AfterJobCreated << Unconfirmed << mayPrint;
    // Slow at the top and silent at the end still costs one report's wait.
    QTest::newRow("print service slow, then silent")
        << Server::WithQueue << none << none << QString() << none << Pause::SlowThenSilent << Failed << silent;

    // A default that names a queue the server lacks is said as such, never
    // taken for "no printer at all".
    const QString gone = "plendrik-gone";
    const QString missing = QString("the default printer \"%1\" (set %2) does not exist").arg(gone);
    QTest::newRow("PRINTER names a missing queue")
        << Server::WithQueue << none << none << QString() << QStringList{"PRINTER=" + gone} << Pause::Never << Failed
        << missing.arg("by the PRINTER environment variable");
    QTest::newRow("LPDEST names a missing queue")
        << Server::WithQueue << none << none << QString() << QStringList{"LPDEST=" + gone} << Pause::Never << Failed
        << missing.arg("by the LPDEST environment variable");
    QTest::newRow("PRINTER names a missing queue on a server without queues")
        << Server::Empty << none << none << QString() << QStringList{"PRINTER=" + gone} << Pause::Never << Failed
        << missing.arg("by the PRINTER environment variable");
    // The user chose a queue with lpoptions, and it was removed later. libcups
    // reads lpoptions from the HOME it first saw, so this row uses that one.
    const QString lpoptions = m_cupsHome + "/.cups/lpoptions";
    QTest::newRow("lpoptions names a removed queue")
        << Server::WithQueue
        << QStringList{"sh", "-c",
                       QString("lpadmin -p %1 -E -v file:/dev/null && lpoptions -d %1 && lpadmin -x %1").arg(gone)}
        << QStringList{"rm", lpoptions} << QString() << QStringList{"HOME=" + m_cupsHome} << Pause::Never << Failed
        << missing.arg("in " + lpoptions);
}

void DefaultPrinterTest::outcome()
{
    QFETCH(Server, server);
    QFETCH(QStringList, setup);
    QFETCH(QStringList, restore);
    QFETCH(QString, tempDir);
    QFETCH(QStringList, env);
    QFETCH(Pause, pause);
    QFETCH(PrintResult::Status, status);
    QFETCH(QString, detailHas);

    UseServer(server);
    if (!tempDir.isEmpty())
        qputenv("TMPDIR", QFile::encodeName(m_work.filePath(tempDir)));
    QList<std::pair<QByteArray, std::optional<QByteArray>>> previous;
    for (const QString &setting : env) {
        const QByteArray name = setting.section('=', 0, 0).toUtf8();
        previous.append({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        qputenv(name, setting.section('=', 1).toUtf8());
    }
    bool paused = false;
    const auto pauseServer = [this, &paused] { return paused = ::kill(m_queueServerPid, SIGSTOP) == 0; };
    const auto resume = [this, &paused] { return !std::exchange(paused, false) || ::kill(m_queueServerPid, SIGCONT) == 0; };
    const auto undo = qScopeGuard([this, &restore, &previous, &resume] {
        resume();
        if (!restore.isEmpty())
            Run(restore);
        for (const auto &[name, value] : previous) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    });
    if (!setup.isEmpty())
        QVERIFY(Run(setup));
    const std::optional<QList<Job>> before = Jobs();
    QVERIFY(before);

    if (pause == Pause::FromFirstLine || pause == Pause::SlowThenSilent)
        QVERIFY(pauseServer());
    std::jthread waker; // the paper lookup cannot end before it wakes the server
    if (pause == Pause::SlowThenSilent)
        waker = std::jthread([this] {
            std::this_thread::sleep_for(std::chrono::seconds(6));
            ::kill(m_queueServerPid, SIGCONT);
        });
    // While the report waits, the window's events go on under a busy pointer.
    int ticks = 0;
    bool busy = true;
    QTimer tick;
    connect(&tick, &QTimer::timeout, &tick, [&ticks, &busy] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        busy = ++ticks && busy && cursor && cursor->shape() == Qt::WaitCursor;
    });
    tick.start(100);
    QElapsedTimer clock;
    clock.start();
    DefaultPrinter printer;
    const QStringList expected = PrintSample(printer);
    if (pause == Pause::BeforeEndDoc || pause == Pause::SlowThenSilent)
        QVERIFY(pauseServer());
    if (pause == Pause::AfterJobCreated || pause == Pause::AfterDocument) {
        (pause == Pause::AfterDocument ? g_pauseBeforeAnswer : g_pauseBeforeDocument) = m_queueServerPid;
        paused = true;
    }
    const QDateTime started = QDateTime::currentDateTime().addMSecs(-999);
    const PrintResult result = printer.EndDoc(kJobName);
    const QDateTime ended = QDateTime::currentDateTime();
    const qint64 took = clock.elapsed();
    tick.stop();
    g_pauseBeforeDocument = g_pauseBeforeAnswer = 0;
    QVERIFY(resume());

    // An operator must hear within 10 s that the service does not answer.
    QVERIFY2(took < 10000, qPrintable(QString("%1 ms").arg(took)));
    if (pause != Pause::Never)
        QVERIFY2(ticks >= took / 200 && busy, qPrintable(QString("%1 ticks in %2 ms").arg(ticks).arg(took)));
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(result.status, status);
    detailHas.replace("%FILE%", result.file);
    QVERIFY2(result.detail.contains(detailHas), qPrintable(result.detail));
    if (status == PrintResult::Status::Failed)
        QVERIFY2(result.detail.startsWith("The report could not be printed because ") && result.detail.endsWith('.')
                     && !result.detail.contains('\n'),
                 qPrintable(result.detail));

    // Only an accepted report leaves a job behind (and one the service fell
    // silent in, unfinished), and only a report with no printer at all a
    // file; the temporary PDF never stays.
    const std::optional<QList<Job>> after = Jobs();
    QVERIFY(after);
    const bool jobMade = status == PrintResult::Status::Printed || status == PrintResult::Status::Unconfirmed;
    QCOMPARE(after->size() - before->size(), qsizetype(jobMade ? 1 : 0));
    const QStringList saved = QDir(Documents()).entryList(QDir::Files);
    QCOMPARE(saved.size(), qsizetype(status == PrintResult::Status::SavedToFile ? 1 : 0));
    if (tempDir.isEmpty()) {
        const QStringList left = QDir(m_tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    }

    QString pdfPath;
    if (status == PrintResult::Status::Printed) {
        const auto job = std::find_if(after->cbegin(), after->cend(),
                                      [&result](const Job &j) { return j.id == JobIdTold(result); });
        QVERIFY(job != after->cend());
        QCOMPARE(job->title, kJobName);
        QCOMPARE(job->format, QString("application/pdf"));
        pdfPath = SpoolFile(job->id); // the scheduler keeps what it received
    } else if (status == PrintResult::Status::SavedToFile) {
        const QFileInfo file(result.file);
        QCOMPARE(file.absolutePath(), Documents());
        static const QRegularExpression name(
            R"(^Listing of Data Entered (\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d)\.pdf$)");
        const QRegularExpressionMatch match = name.match(file.fileName());
        QVERIFY2(match.hasMatch(), qPrintable(file.fileName()));
        const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyy-MM-dd HH.mm.ss");
        QVERIFY2(stamp >= started && stamp <= ended, qPrintable(match.captured(1)));
        pdfPath = file.filePath();
    }
    if (!pdfPath.isEmpty()) {
        const PdfText pdf = ReadPdfText(pdfPath);
        QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
        QCOMPARE(pdf.pages.size(), 1);
        QCOMPARE(pdf.Lines(0), expected);
    }

    if (pause != Pause::Never) {
        if (pause == Pause::AfterDocument) // it prints as the service wakes
            QTRY_VERIFY_WITH_TIMEOUT(Jobs().value_or(QList<Job>()).constLast().state == IPP_JSTATE_COMPLETED, 20000);
        // The same printer, as the program keeps it, prints the next report
        // once the service is awake again.
        PrintSample(printer);
        const PrintResult next = printer.EndDoc(kJobName);
        QCOMPARE(next.status, PrintResult::Status::Printed);
        const std::optional<QList<Job>> later = Jobs();
        QVERIFY(later);
        QCOMPARE(later->size(), after->size() + 1);
        // and cancels the job it was left holding without its document,
        // which never printed; one the service had whole prints.
        int lastBefore = 0;
        for (const Job &job : *before)
            lastBefore = std::max(lastBefore, job.id);
        qsizetype unfinished = 0;
        for (const Job &job : *later) {
            if (job.id > lastBefore && job.id != JobIdTold(next)) {
                ++unfinished;
                QCOMPARE(job.state, pause == Pause::AfterDocument ? IPP_JSTATE_COMPLETED : IPP_JSTATE_CANCELED);
            }
        }
        QCOMPARE(unfinished, qsizetype(jobMade ? 1 : 0));
    }
}

void DefaultPrinterTest::paperFollowsThePrinter_data()
{
    QTest::addColumn<QString>("mediaDefault");
    QTest::addColumn<QString>("savedMedia"); // the user's lpoptions choice
    QTest::addColumn<QSizeF>("points");

    QTest::newRow("legal") << "na_legal_8.5x14in" << QString() << QSizeF(612, 1008);
    QTest::newRow("a5") << "iso_a5_148x210mm" << QString() << QSizeF(420, 595);
    QTest::newRow("user's choice wins") << "na_legal_8.5x14in" << "Letter" << QSizeF(612, 792);
}

void DefaultPrinterTest::paperFollowsThePrinter()
{
    QFETCH(QString, mediaDefault);
    QFETCH(QString, savedMedia);
    QFETCH(QSizeF, points);

    const QString queue = "plendrik-paper";
    QVERIFY(Run({"lpadmin", "-p", queue, "-E", "-v", "file:/dev/null", "-P", PRINTING_TEST_DIR "/paper.ppd"}));
    const auto remove = qScopeGuard([this, &queue] {
        Run({"lpoptions", "-x", queue});
        Run({"lpadmin", "-x", queue});
    });
    QVERIFY(Run({"lpadmin", "-p", queue, "-o", "media-default=" + mediaDefault}));
    if (!savedMedia.isEmpty())
        QVERIFY(Run({"lpoptions", "-p", queue, "-o", "media=" + savedMedia}));
    qputenv("PRINTER", queue.toUtf8()); // chosen the way a user would, leaving the server's default alone
    qputenv("HOME", QFile::encodeName(m_cupsHome)); // where lpoptions saved the choice

    DefaultPrinter printer;
    const QStringList expected = PrintSample(printer);
    const PrintResult result = printer.EndDoc(kJobName);
    QCOMPARE(result.status, PrintResult::Status::Printed);
    QVERIFY2(result.detail.contains(queue), qPrintable(result.detail));

    const PdfText pdf = ReadPdfText(SpoolFile(JobIdTold(result)));
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QCOMPARE(pdf.pages.size(), 1);
    QCOMPARE(pdf.pages[0], points);
    QCOMPARE(pdf.Lines(0), expected);
}

void DefaultPrinterTest::savePathFor_data()
{
    QTest::addColumn<QString>("jobName");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    const QString base = "Listing of Data Entered 2026-12-08 14.05.09";
    QTest::newRow("free") << kJobName << QStringList() << base + ".pdf";
    QTest::newRow("taken") << kJobName << QStringList{base + ".pdf"} << base + " (2).pdf";
    QTest::newRow("taken twice") << kJobName << QStringList{base + ".pdf", base + " (2).pdf"} << base + " (3).pdf";
    QTest::newRow("other second taken") << kJobName << QStringList{"Listing of Data Entered 2026-12-08 14.05.08.pdf"}
                                        << base + ".pdf";
    QTest::newRow("slash and colon") << "Income/Expenses: Region 2" << QStringList()
                                     << "Income-Expenses- Region 2 2026-12-08 14.05.09.pdf";
    QTest::newRow("blank name") << "  " << QStringList() << "Report 2026-12-08 14.05.09.pdf";
}

void DefaultPrinterTest::savePathFor()
{
    QFETCH(QString, jobName);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);

    QTemporaryDir folder(m_work.filePath("save-XXXXXX"));
    QVERIFY(folder.isValid());
    for (const QString &name : existing) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 9));
    QCOMPARE(SavePathFor(folder.path(), jobName, when), folder.filePath(expected));
}

QTEST_MAIN(DefaultPrinterTest)
#include "DefaultPrinterTest.moc"
