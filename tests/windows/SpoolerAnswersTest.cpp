// What the operator is told for the Windows spooler's answers that Wine
// cannot give: a paused, offline or failing printer, a stopped spooler
// service. Each row feeds a spooler's raw answer through the program's own
// reading of it (WindowsSpooler.h) into DefaultPrinter.

#include "DefaultPrinter.h"
#include "WindowsSpooler.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <winspool.h>

namespace {

struct Spooler
{
    DWORD reachError = ERROR_SUCCESS; // what asking for the printers answered
    bool hasDefault = true;
    DWORD status = 0;
    DWORD attributes = 0;
    DWORD submitError = ERROR_SUCCESS;
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
        if (!m_spooler.hasDefault)
            answer.trouble.kind = Trouble::Kind::NoneChosen;
        answer.destination = {"office", StateOf(m_spooler.status, m_spooler.attributes)};
        return answer;
    }
    QPageSize DefaultPaper() override { return QPageSize(QPageSize::Letter); }
    QStringList Printers() override { return m_spooler.printers; }
    Handover Submit(const Destination &, const LaidOutReport &) override
    {
        Handover job;
        job.jobId = 7;
        job.whole = m_spooler.submitError == ERROR_SUCCESS;
        if (m_spooler.submitError != ERROR_SUCCESS)
            job.trouble = TroubleOf(m_spooler.submitError);
        return job;
    }
    std::optional<bool> IsWhole(const JobRef &) override { return true; }
    bool Cancel(const JobRef &, QDeadlineTimer) override { return true; }
    QString ChooseCommand(const QString &) const override { return {}; }

private:
    Spooler m_spooler;
};

} // namespace

Q_DECLARE_METATYPE(Spooler)

class SpoolerAnswersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
    QTest::newRow("job refused") << Spooler{.submitError = ERROR_ACCESS_DENIED}
                                 << notPrinted + "the printer \"office\" refused the job (Access denied).";
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
