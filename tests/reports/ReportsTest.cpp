#include "CapturePrinter.h"
#include "EmptySurvey.h"
#include "Households.h"
#include "Operator.h"
#include "MessageBoxAnswer.h"
#include "Reports.h"

#include <QApplication>
#include <QTest>

#include <functional>

namespace {

using Report = std::function<std::optional<PrintResult>(Printer &, QWidget *)>;

struct Household
{
    const char *id, *income, *persons;
};

const QString Pad(int column) { return QString(column - 1, ' '); }

// A data line as the reports print it: ID at column 15, then zone by zone.
QString Row(const QString &id, const QString &income, const QString &persons = {})
{
    QString line = Pad(15) + id;
    line += QString(28 - line.size(), ' ') + income;
    if (!persons.isEmpty())
        line += QString(42 - line.size(), ' ') + persons;
    return line;
}

const QStringList ListingTop{"", "", Pad(29) + "Listing of Data Entered", "",
                             Pad(15) + " ID Number    Income        Number in House", ""};
const QStringList AboveTop{"", "", Pad(29) + "Households Exceeding Average Income", "", Pad(15) + " ID Number    Income",
                           ""};
const QString PovertyText = Pad(15) + "The Percentage of households having income below poverty level  ";

} // namespace

class ReportsTest : public QObject
{
    Q_OBJECT

private:
    void Enter(const QList<Household> &households)
    {
        for (const auto &h : households)
            QCOMPARE(AddHousehold(h.id, h.income, h.persons), AddResult::Added);
    }
    QStringList Print(const Report &report, const QString &title)
    {
        CapturePrinter printer;
        const auto result = report(printer, nullptr);
        [&] {
            QVERIFY(result.has_value());
            QCOMPARE(printer.documents.size(), 1);
            QCOMPARE(printer.documents[0].jobName, title);
        }();
        return printer.documents.value(0).Text();
    }

private Q_SLOTS:
    void init() { StartEmptySurvey(); }
    void cleanup()
    {
        Operator::CheckNoWindowLeftOpen();
    }

    void emptySurveyPrintsNothing_data();
    void emptySurveyPrintsNothing();
    void listingShowsEveryHouseholdInEntryOrder();
    void listingKeepsColumnsForOddValues();
    void listingOfFortyOne();
    void aboveAverage_data();
    void aboveAverage();
    void povertySummary_data();
    void povertySummary();
    void reportsLeaveTheSurveyAlone();
};

void ReportsTest::emptySurveyPrintsNothing_data()
{
    QTest::addColumn<Report>("report");
    QTest::newRow("listing") << Report(PrintDataListing);
    QTest::newRow("above average") << Report(PrintAboveAverage);
    QTest::newRow("poverty") << Report(PrintPovertySummary);
}

void ReportsTest::emptySurveyPrintsNothing()
{
    QFETCH(Report, report);
    CapturePrinter printer;
    MessageBoxAnswer answer(Qt::Key_Return);
    const auto result = report(printer, nullptr);
    QVERIFY(!result.has_value());
    QVERIFY(answer.seen().shown);
    QCOMPARE(answer.seen().title, "Error");
    QCOMPARE(answer.seen().text, "No data to summarize");
    QCOMPARE(answer.seen().buttons, QMessageBox::Ok);
    QCOMPARE(answer.seen().icon, QMessageBox::NoIcon);
    QVERIFY(printer.documents.isEmpty());
    QVERIFY(!printer.documentOpen);
}

void ReportsTest::listingShowsEveryHouseholdInEntryOrder()
{
    Enter({{"1001", "6000", "3"}, {"1002", "2000.5", "1"}});
    const QStringList expected =
        ListingTop + QStringList{Row("1001", " 6000 ", " 3 "), Row("1002", " 2000.5 ", " 1 ")};
    QCOMPARE(Print(PrintDataListing, "Listing of Data Entered"), expected);
}

void ReportsTest::listingKeepsColumnsForOddValues()
{
    Enter({{"", "1,000", "2"},
           {"ABCDEFGHIJKLMNO", "500", "1"},
           {"  7 ", "-250", "-1"},
           {"x", "0", "2.5"}});
    const QStringList expected = ListingTop + QStringList{
        Row("", " 1 ", " 2 "),
        // 15 characters run into zone 3, so the income goes to column 43 and
        // the size to the zone after it.
        Pad(15) + "ABCDEFGHIJKLMNO" + QString(13, ' ') + " 500 " + QString(9, ' ') + " 1 ",
        Row("  7 ", "-250 ", "-1 "),
        Row("x", " 0 ", " 2.5 "),
    };
    QCOMPARE(Print(PrintDataListing, "Listing of Data Entered"), expected);
}

void ReportsTest::listingOfFortyOne()
{
    for (int i = 0; i < MaxHouseholds; ++i)
        AddHousehold(std::to_string(2000 + i), std::to_string(100 * i), "2");
    const QStringList lines = Print(PrintDataListing, "Listing of Data Entered");
    QCOMPARE(lines.size(), ListingTop.size() + 41);
    for (int i = 0; i < MaxHouseholds; ++i)
        QCOMPARE(lines[ListingTop.size() + i], Row(QString::number(2000 + i), ' ' + QString::number(100 * i) + ' ', " 2 "));
}

void ReportsTest::aboveAverage_data()
{
    QTest::addColumn<QList<Household>>("households");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("100 200 300") << QList<Household>{{"a", "100", "1"}, {"b", "200", "1"}, {"c", "300", "1"}}
                                 << QStringList{Row("c", " 300 ")};
    QTest::newRow("one household equals the average") << QList<Household>{{"a", "100", "1"}} << QStringList{};
    QTest::newRow("all equal") << QList<Household>{{"a", "5", "1"}, {"b", "5", "1"}} << QStringList{};
    QTest::newRow("average 1.3333") << QList<Household>{{"a", "1", "1"}, {"b", "1", "1"}, {"c", "2", "1"}}
                                    << QStringList{Row("c", " 2 ")};
    QTest::newRow("entry order, not income order")
        << QList<Household>{{"big", "900", "1"}, {"low", "1", "1"}, {"mid", "500", "1"}, {"low2", "2", "1"}}
        << QStringList{Row("big", " 900 "), Row("mid", " 500 ")};
    QTest::newRow("negative incomes")
        << QList<Household>{{"a", "-100", "1"}, {"b", "-300", "1"}} << QStringList{Row("a", "-100 ")};
}

void ReportsTest::aboveAverage()
{
    QFETCH(QList<Household>, households);
    QFETCH(QStringList, listed);
    Enter(households);
    QCOMPARE(Print(PrintAboveAverage, "Households Exceeding Average Income"), AboveTop + listed);
}

void ReportsTest::povertySummary_data()
{
    QTest::addColumn<QList<Household>>("households");
    QTest::addColumn<QString>("percentage");
    QTest::newRow("size 2 at 7999") << QList<Household>{{"a", "7999", "2"}} << "100.0%";
    QTest::newRow("size 2 at 8000") << QList<Household>{{"a", "8000", "2"}} << "0.0%";
    QTest::newRow("sizes 1 3 4") << QList<Household>{{"a", "5000", "1"}, {"b", "10000", "3"}, {"c", "6000", "4"}}
                                 << "66.7%";
    QTest::newRow("one of three") << QList<Household>{{"a", "1", "1"}, {"b", "9000", "1"}, {"c", "9000", "1"}}
                                  << "33.3%";
    QList<Household> eight(8, Household{"x", "9000", "1"});
    eight[3] = {"y", "100", "5"};
    QTest::newRow("one of eight") << eight << "12.5%";
    QList<Household> thirtyTwo(32, Household{"x", "20000", "3"});
    thirtyTwo[0] = {"y", "100", "1"};
    QTest::newRow("one of 32") << thirtyTwo << "3.1%";
    thirtyTwo[1] = thirtyTwo[2] = {"z", "9999.99", "3"};
    QTest::newRow("three of 32") << thirtyTwo << "9.4%";
    QList<Household> sixteen(16, Household{"x", "20000", "3"});
    sixteen[0] = {"y", "100", "1"};
    QTest::newRow("one of 16 rounds its half up") << sixteen << "6.3%";
}

void ReportsTest::povertySummary()
{
    QFETCH(QList<Household>, households);
    QFETCH(QString, percentage);
    Enter(households);
    const QStringList expected{"", "", Pad(29) + "Poverty Level Summary", "", PovertyText + percentage};
    QCOMPARE(Print(PrintPovertySummary, "Poverty Level Summary"), expected);
}

void ReportsTest::reportsLeaveTheSurveyAlone()
{
    Enter({{"1", "10", "1"}, {"2", "20000", "3"}});
    const auto count = HouseholdCount;
    const auto total = TotalIncome;
    for (const Report &report : {Report(PrintDataListing), Report(PrintAboveAverage), Report(PrintPovertySummary)}) {
        CapturePrinter printer;
        report(printer, nullptr);
    }
    QCOMPARE(HouseholdCount, count);
    QCOMPARE(TotalIncome.tenThousandths, total.tenThousandths);
    QCOMPARE(Households[1].ID, std::string("2"));
    QCOMPARE(Households[2].ID, std::string());
}

QTEST_MAIN(ReportsTest)
#include "ReportsTest.moc"
