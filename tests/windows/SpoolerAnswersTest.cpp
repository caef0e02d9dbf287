// What the operator is told for the Windows spooler's answers that Wine
// cannot give: a paused, offline or failing printer, a stopped spooler
// service. Each row feeds a spooler's raw answer through the program's own
// reading of it (WindowsSpoolerAnswers.h) into DefaultPrinter.

#include "DefaultPrinter.h"
#include "WindowsDocumentCalls.h"
#include "WindowsSpoolerAnswers.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QStandardPaths>
#include <QTest>

#include <winspool.h>

namespace {

struct Spooler
{
    DWORD reachError = ERROR_SUCCESS; // what asking for the printers answered
    bool hasDefault = true;
    QString name = "office";
    DWORD openError = ERROR_SUCCESS; // what asking about the default printer answered
    DWORD status = 0;
    DWORD attributes = 0;
    std::vector<DWORD> jobs{}; // the status of each job in its queue
    DocumentCalls calls{7, ERROR_SUCCESS}; // what the driver answered to the document's calls
    QStringList printers{"office"};
};

class AnsweringService : public PrintService
{
public:
    explicit AnsweringService(const Spooler &spooler) : m_spooler(spooler) {}
    bool Reached() const override { return TroubleOf(m_spooler.reachError).kind != Trouble::Kind::NotRunning; }
    Trouble Silence() const override { return {}; }
    DefaultDestination Default() override
    {
        DefaultDestination answer;
        answer.destination = {m_spooler.name, StateOf(m_spooler.status, m_spooler.attributes, m_spooler.jobs),
                              int(m_spooler.jobs.size())};
        if (!m_spooler.hasDefault) {
            answer.outcome = DefaultDestination::Outcome::NoneChosen;
        } else if (m_spooler.openError != ERROR_SUCCESS) {
            answer.outcome = DefaultDestination::Outcome::Failed;
            answer.trouble = TroubleOf(m_spooler.openError, m_spooler.name);
        }
        return answer;
    }
    QPageSize DefaultPaper() override { return QPageSize(QPageSize::Letter); }
    QStringList Printers() override { return m_spooler.printers; }
    SubmittedJob SubmitJob(const Destination &, const LaidOutReport &) override
    {
        return {m_spooler.calls.jobId, m_spooler.calls.error == ERROR_SUCCESS, TroubleOf(m_spooler.calls)};
    }
    std::optional<bool> IsWhole(const JobRef &) override { return true; }
    bool Cancel(const JobRef &, QDeadlineTimer) override { return true; }
    QString WhereToChoose(const QString &) const override { return WhereDefaultIsChosen(); }

private:
    Spooler m_spooler;
};

// This Windows's own words for an error, as a sentence ends them.
QString SystemWords(DWORD error)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString words = QString::fromWCharArray(text).trimmed();
    LocalFree(text);
    while (words.endsWith('.'))
        words.chop(1);
    return words;
}

} // namespace

Q_DECLARE_METATYPE(Spooler)

class SpoolerAnswersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The driver's answers are read as the toolkit's print engine gets them:
    // its calls into gdi32 can be taken over, once it is loaded.
    void documentCallsWatched()
    {
        const QPrinter printer;
        QVERIFY(WatchDocumentCalls());
    }
    void toldTheOperator_data();
    void toldTheOperator();
};

void SpoolerAnswersTest::toldTheOperator_data()
{
    QTest::addColumn<Spooler>("spooler");
    QTest::addColumn<QString>("told");

    const QString notPrinted = "The report could not be printed because ";
    QTest::newRow("paused") << Spooler{.status = PRINTER_STATUS_PAUSED} << notPrinted + "the printer \"office\" is paused.";
    QTest::newRow("offline") << Spooler{.status = PRINTER_STATUS_OFFLINE}
                             << notPrinted + "the printer \"office\" is offline.";
    QTest::newRow("set to use offline") << Spooler{.attributes = PRINTER_ATTRIBUTE_WORK_OFFLINE}
                                        << notPrinted + "the printer \"office\" is offline.";
    QTest::newRow("paper jam") << Spooler{.status = PRINTER_STATUS_PAPER_JAM}
                               << notPrinted + "the printer \"office\" reports an error.";
    QTest::newRow("not available") << Spooler{.status = PRINTER_STATUS_NOT_AVAILABLE}
                                   << notPrinted + "the printer \"office\" is not available.";
    QTest::newRow("spooler service stopped") << Spooler{.reachError = RPC_S_SERVER_UNAVAILABLE}
                                             << notPrinted + "the print service is not running.";
    QTest::newRow("job refused") << Spooler{.calls = {0, ERROR_ACCESS_DENIED}}
                                 << notPrinted + "the printer \"office\" refused the job ("
                                        + SystemWords(ERROR_ACCESS_DENIED) + ").";
    // Switched off, a network printer often says it is ready; its print
    // server, or the jobs waiting on it, say otherwise.
    QTest::newRow("print server offline") << Spooler{.status = PRINTER_STATUS_SERVER_OFFLINE}
                                          << notPrinted + "the printer \"office\" is offline.";
    QTest::newRow("ready, with a job held offline")
        << Spooler{.jobs = {JOB_STATUS_OFFLINE}}
        << notPrinted + "the printer \"office\" is offline, with 1 job already waiting on it.";
    QTest::newRow("ready, with a job out of paper")
        << Spooler{.jobs = {0, JOB_STATUS_PAPEROUT | JOB_STATUS_PRINTING}}
        << notPrinted + "the printer \"office\" reports an error, with 2 jobs already waiting on it.";
    QTest::newRow("print server out of reach") << Spooler{.name = "\\\\printsrv\\office", .openError = RPC_S_SERVER_UNAVAILABLE}
                                               << notPrinted + "the print server \"printsrv\" does not answer.";
    QTest::newRow("saving cancelled in the driver's dialog")
        << Spooler{.calls = {0, ERROR_CANCELLED}} << "The report was not printed because saving it was cancelled.";
    QTest::newRow("the document's end failed")
        << Spooler{.calls = {7, ERROR_DISK_FULL}}
        << notPrinted + "the printer \"office\" refused the job (" + SystemWords(ERROR_DISK_FULL) + ").";
    QTest::newRow("no printer") << Spooler{.hasDefault = false, .printers = {}}
                                << "No printer is set up, so the report was saved as a PDF file:\n%FILE%";
    QTest::newRow("printers, none the default")
        << Spooler{.hasDefault = false, .printers = {"office", "lab"}}
        << "No default printer is chosen, so the report was saved as a PDF file:\n%FILE%\n\nThe printers set up are "
           "\"office\" and \"lab\". To print on one of them, make it the default printer in Settings, under "
           "Printers & scanners.";
}

void SpoolerAnswersTest::toldTheOperator()
{
    QFETCH(Spooler, spooler);
    QFETCH(QString, told);

    DefaultPrinter printer([spooler](QDeadlineTimer) { return std::make_unique<AnsweringService>(spooler); });
    printer.PrintAt(15, "1001");
    printer.NewLine();
    const PrintResult result = printer.EndDoc("Listing of Data Entered");
    QCOMPARE(result.detail, QString(told).replace("%FILE%", result.file));
    if (!result.file.isEmpty()) {
        // Where Windows users look for it, written the way Windows writes paths.
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY2(result.file.startsWith(QDir::toNativeSeparators(documents) + '\\'), qPrintable(result.file));
        QVERIFY(!result.file.contains('/'));
        QVERIFY(QFile::remove(result.file));
    }
}

QTEST_MAIN(SpoolerAnswersTest)
#include "SpoolerAnswersTest.moc"
