#include "PagePrinter.h"
#include "PdfText.h"

#include <QFileInfo>
#include <QPageSize>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// Letters every tenth place, so a piece put back in the wrong spot shows.
QString LongId(int length)
{
    QString id;
    for (int i = 0; i < length; ++i)
        id += i % 10 == 0 ? QChar(u'A' + (i / 10) % 26) : QChar(u'0' + i % 10);
    return id;
}

QString Padded(int column, const QString &text)
{
    return QString(column - 1, QLatin1Char(' ')) + text;
}

} // namespace

class PagePrinterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layout_data();
    void layout();
    void nextDocumentStartsAfresh();
    void unwritableFileFailsOnce();
};

void PagePrinterTest::layout_data()
{
    QTest::addColumn<QPageSize>("paper");
    QTest::addColumn<QSizeF>("points");
    // Worked out by hand: printable width / 6.03 pt (DejaVu Sans Mono 10 pt),
    // printable height / 12 pt.
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("lines");

    QTest::newRow("A4") << QPageSize(QPageSize::A4) << QSizeF(595, 842) << 86 << 64;
    QTest::newRow("Letter") << QPageSize(QPageSize::Letter) << QSizeF(612, 792) << 89 << 60;
}

void PagePrinterTest::layout()
{
    QFETCH(QPageSize, paper);
    QFETCH(QSizeF, points);
    QFETCH(int, columns);
    QFETCH(int, lines);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("layout.pdf");
    PagePrinter printer(path);
    printer.SetPageSize(paper);
    QStringList rows; // what each printed row should read, in order

    printer.PrintAt(1, "Name");
    printer.PrintAt(15, "Income");
    printer.PrintAt(29, "Members");
    printer.PrintAt(43, "Region");
    printer.NewLine();
    rows << "Name          Income        Members       Region";

    printer.NewLine();
    rows << QString();

    // Right-aligned to end in column 40, the way report figures are.
    const QString amount = "1,234.56";
    printer.PrintAt(41 - printer.ColumnsOf(amount), amount);
    printer.NewLine();
    rows << Padded(33, amount);

    const QString id = LongId(120);
    printer.PrintAt(15, id);
    printer.NewLine();
    rows << Padded(15, id.left(columns - 14)) << id.mid(columns - 14);

    // An item placed past the right edge keeps its logical column.
    printer.PrintAt(1, "Left");
    printer.PrintAt(columns + 5, "Right");
    printer.NewLine();
    rows << "Left" << Padded(5, "Right");

    const QString wide = LongId(2 * columns + 10);
    printer.PrintAt(1, wide);
    printer.NewLine();
    rows << wide.left(columns) << wide.mid(columns, columns) << wide.mid(2 * columns);

    for (int n = 1; rows.size() < lines + 5; ++n) {
        const QString text = QString("Row %1").arg(n, 3, 10, QChar(u'0'));
        printer.PrintAt(3, text);
        printer.NewLine();
        rows << Padded(3, text);
    }

    const PrintResult result = printer.EndDoc("Layout");
    QCOMPARE(result.status, PrintResult::Status::Printed);
    QCOMPARE(printer.FilePath(), path);

    const PdfText pdf = ReadPdfText(path);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QCOMPARE(pdf.pages.size(), 2);
    QCOMPARE(pdf.pages[0], points);
    QCOMPARE(pdf.Lines(0), rows.mid(0, lines));
    QCOMPARE(pdf.Lines(1), rows.mid(lines));

    // Within the margins, and on the grid to well under a column or a line.
    constexpr double margin = PagePrinter::kMarginPoints;
    for (const PdfWord &word : pdf.words) {
        const QByteArray what = word.text.toUtf8();
        QVERIFY2(word.xMin >= margin - 0.5 && word.xMax <= points.width() - margin + 0.5, what);
        QVERIFY2(word.yMin >= margin - 0.5 && word.yMax <= points.height() - margin + 0.5, what);
        const double charWidth = (word.xMax - word.xMin) / static_cast<double>(word.text.size());
        QVERIFY2(std::abs(word.xMin - (margin + (word.Column() - 1) * charWidth)) < 0.5, what);
        QVERIFY2(std::abs(word.yMin - (margin + word.Line() * PagePrinter::kLinePitchPoints)) < 0.5, what);
    }
}

void PagePrinterTest::nextDocumentStartsAfresh()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath("first.pdf");
    const QString second = dir.filePath("second.pdf");

    PagePrinter printer(first);
    for (const char *text : {"One", "Two", "Three"}) {
        printer.PrintAt(1, text);
        printer.NewLine();
    }
    printer.PrintAt(5, "Unfinished"); // no NewLine: EndDoc must still print it
    QCOMPARE(printer.EndDoc("First").status, PrintResult::Status::Printed);

    printer.SetFilePath(second);
    printer.PrintAt(1, "Second");
    printer.NewLine();
    QCOMPARE(printer.EndDoc("Second").status, PrintResult::Status::Printed);

    const PdfText one = ReadPdfText(first);
    QVERIFY2(one.error.isEmpty(), qPrintable(one.error));
    QCOMPARE(one.Lines(0), QStringList({"One", "Two", "Three", "    Unfinished"}));

    const PdfText two = ReadPdfText(second);
    QVERIFY2(two.error.isEmpty(), qPrintable(two.error));
    QCOMPARE(two.pages.size(), 1);
    QCOMPARE(two.Lines(0), QStringList({"Second"}));
}

void PagePrinterTest::unwritableFileFailsOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath("no such folder/report.pdf");

    PagePrinter printer(missing);
    QVERIFY(std::isfinite(printer.ColumnsOf("Name")));
    printer.PrintAt(1, "Name");
    printer.NewLine();
    const PrintResult failed = printer.EndDoc("Lost");
    QCOMPARE(failed.status, PrintResult::Status::Failed);
    QVERIFY2(failed.detail.contains(missing), qPrintable(failed.detail));
    QVERIFY(!QFileInfo::exists(missing));

    // The failure belongs to that document only.
    const QString good = dir.filePath("report.pdf");
    printer.SetFilePath(good);
    printer.PrintAt(1, "Found");
    printer.NewLine();
    QCOMPARE(printer.EndDoc("Found").status, PrintResult::Status::Printed);
    const PdfText pdf = ReadPdfText(good);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QCOMPARE(pdf.Lines(0), QStringList({"Found"}));
}

QTEST_MAIN(PagePrinterTest)
#include "PagePrinterTest.moc"
