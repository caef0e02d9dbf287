#include "CapturePrinter.h"
#include "ReportWriter.h"

#include <QLocale>
#include <QTest>

using Statement = std::vector<PrintItem>;
Q_DECLARE_METATYPE(Statement)

class ReportWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placesItemsInZones_data();
    void placesItemsInZones();
    void openLineContinuesWithTheNextStatement();
    void formatsNumbers_data();
    void formatsNumbers();
    void formatsPercentages_data();
    void formatsPercentages();
    void followsTheRegionalSeparators();
    void headingPutsTheTitleInTheThirdZoneAndNamesTheJob();
};

void ReportWriterTest::placesItemsInZones_data()
{
    QTest::addColumn<Statement>("statement");
    QTest::addColumn<QString>("expected");

    const auto zone = Text({}, Separator::Zone);
    QTest::newRow("first item at column 1") << Statement{Text("a", Separator::Zone), Text("b", Separator::EndOfLine)}
                                            << "a             b";
    QTest::newRow("one leading zone reaches column 15")
        << Statement{zone, Text("x", Separator::EndOfLine)} << QString(14, ' ') + "x";
    QTest::newRow("two leading zones reach column 29")
        << Statement{zone, zone, Text("x", Separator::EndOfLine)} << QString(28, ' ') + "x";
    QTest::newRow("15 characters in zone 2 push the next item to column 43")
        << Statement{zone, Text("ABCDEFGHIJKLMNO", Separator::Zone), Text("n", Separator::EndOfLine)}
        << QString(14, ' ') + "ABCDEFGHIJKLMNO" + QString(13, ' ') + "n";
    QTest::newRow("14 characters end on a zone start and still move on")
        << Statement{zone, Text("ABCDEFGHIJKLMN", Separator::Zone), Text("n", Separator::EndOfLine)}
        << QString(14, ' ') + "ABCDEFGHIJKLMN" + QString(14, ' ') + "n";
    QTest::newRow("13 characters leave room for the next zone")
        << Statement{zone, Text("ABCDEFGHIJKLM", Separator::Zone), Text("n", Separator::EndOfLine)}
        << QString(14, ' ') + "ABCDEFGHIJKLM" + " n";
    QTest::newRow("join leaves the position after the item")
        << Statement{Text("abc", Separator::Join), Text("def", Separator::EndOfLine)} << "abcdef";
    QTest::newRow("negative number keeps its zone")
        << Statement{zone, Text("7", Separator::Zone), Number(-250.5, Separator::Zone), Number(0, Separator::EndOfLine)}
        << QString(14, ' ') + "7" + QString(13, ' ') + "-250.5 " + QString(7, ' ') + " 0 ";
    QTest::newRow("empty item still moves a zone")
        << Statement{zone, Text({}, Separator::Zone), Number(5, Separator::EndOfLine)} << QString(28, ' ') + " 5 ";
}

void ReportWriterTest::placesItemsInZones()
{
    QFETCH(Statement, statement);
    QFETCH(QString, expected);
    CapturePrinter printer;
    ReportWriter writer(printer);
    writer.PrintStatement(statement);
    writer.EndDoc();
    QCOMPARE(printer.documents.size(), 1);
    QCOMPARE(printer.documents[0].Text(), QStringList{expected});
}

void ReportWriterTest::openLineContinuesWithTheNextStatement()
{
    CapturePrinter printer;
    ReportWriter writer(printer);
    writer.PrintStatement({Text({}, Separator::Zone), Text("level  ", Separator::Join)});
    writer.PrintStatement({Text("12.5%", Separator::EndOfLine)});
    writer.PrintBlankLine();
    writer.PrintStatement({Text("x", Separator::EndOfLine)});
    writer.EndDoc();
    const QList<QList<CapturePrinter::Item>> expected{
        {{15, "level  "}, {22, "12.5%"}}, {}, {{1, "x"}}};
    QCOMPARE(printer.documents[0].lines, expected);
}

void ReportWriterTest::formatsNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 6000.0 << " 6000 ";
    QTest::newRow("fraction") << 12000.5 << " 12000.5 ";
    QTest::newRow("small whole") << 3.0 << " 3 ";
    QTest::newRow("zero") << 0.0 << " 0 ";
    QTest::newRow("negative zero") << -0.0 << " 0 ";
    QTest::newRow("negative") << -1.0 << "-1 ";
    QTest::newRow("below one has a leading zero") << 0.5 << " 0.5 ";
    QTest::newRow("negative below one") << -0.25 << "-0.25 ";
    QTest::newRow("fifteen digits") << 123456789012345.0 << " 123456789012345 ";
    QTest::newRow("one third to fifteen digits") << 1.0 / 3 << " 0.333333333333333 ";
    QTest::newRow("typed 12.34567 prints as stored") << 12.34567 << " 12.34567 ";
    QTest::newRow("10^15 in exponent form") << 1e15 << " 1E+15 ";
    QTest::newRow("sixteen digits rounded") << 1234567890123456.0 << " 1.23456789012346E+15 ";
    QTest::newRow("10^-4 still plain") << 0.0001 << " 0.0001 ";
    QTest::newRow("below 10^-4 in exponent form") << 0.00001 << " 1E-05 ";
}

void ReportWriterTest::formatsNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatNumber(value), expected);
}

void ReportWriterTest::formatsPercentages_data()
{
    QTest::addColumn<qint64>("tenThousandths");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << qint64(0) << "0.0%";
    QTest::newRow("one in eight") << qint64(1250) << "12.5%";
    QTest::newRow("one in three") << qint64(3333) << "33.3%";
    QTest::newRow("two in three") << qint64(6667) << "66.7%";
    QTest::newRow("all") << qint64(10000) << "100.0%";
    QTest::newRow("one in 32") << qint64(312) << "3.1%";
    QTest::newRow("three in 32") << qint64(938) << "9.4%";
    QTest::newRow("exact half rounds up") << qint64(625) << "6.3%";
    QTest::newRow("smallest half") << qint64(5) << "0.1%";
    QTest::newRow("below the half") << qint64(4) << "0.0%";
}

void ReportWriterTest::formatsPercentages()
{
    QFETCH(qint64, tenThousandths);
    QFETCH(QString, expected);
    QCOMPARE(FormatPercent(Currency{tenThousandths}), expected);
}

void ReportWriterTest::followsTheRegionalSeparators()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString number = FormatNumber(12000.5);
    const QString percent = FormatPercent(Currency{1250});
    QLocale::setDefault(QLocale::c());
    const QString cNumber = FormatNumber(12000.5);
    const QString cPercent = FormatPercent(Currency{1250});
    QLocale::setDefault(saved);

    QCOMPARE(number, " 12000,5 ");
    QCOMPARE(percent, "12,5%");
    QCOMPARE(cNumber, " 12000.5 ");
    QCOMPARE(cPercent, "12.5%");
}

void ReportWriterTest::headingPutsTheTitleInTheThirdZoneAndNamesTheJob()
{
    CapturePrinter printer;
    ReportWriter writer(printer);
    writer.ReportHeading("Some Title");
    writer.EndDoc();
    QCOMPARE(printer.documents.size(), 1);
    QCOMPARE(printer.documents[0].jobName, "Some Title");
    QCOMPARE(printer.documents[0].Text(), (QStringList{"", "", QString(28, ' ') + "Some Title", ""}));
}

QTEST_GUILESS_MAIN(ReportWriterTest)
#include "ReportWriterTest.moc"
