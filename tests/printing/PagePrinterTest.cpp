#include "PagePrinter.h"
#include "PdfText.h"
#include "ReportWriter.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using Statement = std::vector<PrintItem>;
Q_DECLARE_METATYPE(Statement)

namespace {

constexpr int kA4Columns = 86;
constexpr int kA4Lines = 64;

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

// One logical line with each text at its column, one character a column.
QString Placed(const QList<std::pair<int, QString>> &items)
{
    QString line;
    for (const auto &[column, text] : items)
        line = line.leftJustified(column - 1, QLatin1Char(' '), true) + text;
    return line;
}

// The rows a logical line fills on paper columns wide, as PdfText reads them.
QStringList Rows(const QString &line, int columns)
{
    QStringList rows;
    for (qsizetype at = 0; at < line.size(); at += columns) {
        QString row = line.mid(at, columns);
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        rows << row;
    }
    return rows;
}

// Every page's rows one after the other, each full page padded to its lines.
QStringList AllRows(const PdfText &pdf, int lines)
{
    QStringList rows;
    for (int page = 0; page < pdf.pages.size(); ++page) {
        QStringList onPage = pdf.Lines(page);
        if (page + 1 < pdf.pages.size())
            while (onPage.size() < lines)
                onPage << QString();
        rows << onPage;
    }
    return rows;
}

// Stands in for a print service on a Unix socket: hangs up on every caller
// and counts them.
class HangingUpService
{
public:
    explicit HangingUpService(const QString &path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        std::copy_n(name.constData(), std::min<qsizetype>(name.size(), sizeof address.sun_path - 1),
                    address.sun_path);
        m_socket = socket(AF_UNIX, SOCK_STREAM, 0);
        m_listening = m_socket >= 0 && bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                      && listen(m_socket, 8) == 0;
        if (m_listening)
            m_thread = std::thread([this] {
                for (int caller; (caller = accept(m_socket, nullptr, nullptr)) >= 0;) {
                    ++m_callers;
                    close(caller);
                }
            });
    }
    ~HangingUpService()
    {
        shutdown(m_socket, SHUT_RDWR); // wakes accept() up with an error
        if (m_thread.joinable())
            m_thread.join();
        if (m_socket >= 0)
            close(m_socket);
    }
    HangingUpService(const HangingUpService &) = delete;
    HangingUpService &operator=(const HangingUpService &) = delete;

    bool Listening() const { return m_listening; }
    int Callers() const { return m_callers; }

private:
    int m_socket = -1;
    bool m_listening = false;
    std::atomic<int> m_callers = 0;
    std::thread m_thread;
};

} // namespace

class PagePrinterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void neverAsksThePrintService();
    void layout_data();
    void layout();
    void zonesOnThePage_data();
    void zonesOnThePage();
    void scriptsOnThePage_data();
    void scriptsOnThePage();
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
    QTest::addColumn<int>("resolution"); // of the device laid out on; 0 for the file's own

    QTest::newRow("A4") << QPageSize(QPageSize::A4) << QSizeF(595, 842) << 86 << 64 << 0;
    QTest::newRow("Letter") << QPageSize(QPageSize::Letter) << QSizeF(612, 792) << 89 << 60 << 0;
    // A printer's dots round a glyph's width their own way; a row still
    // holds what it holds in the file.
    QTest::newRow("A4 at a printer's 600 dpi") << QPageSize(QPageSize::A4) << QSizeF(595, 842) << 86 << 64 << 600;
    // Where glyphs are hinted (page_printer_hinted), whole dots: a W inks one
    // past its advance, and a row ending in one must still hold the row.
    QTest::newRow("A4 at a printer's 300 dpi") << QPageSize(QPageSize::A4) << QSizeF(595, 842) << 86 << 64 << 300;
}

void PagePrinterTest::layout()
{
    QFETCH(QPageSize, paper);
    QFETCH(QSizeF, points);
    QFETCH(int, columns);
    QFETCH(int, lines);
    QFETCH(int, resolution);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("layout.pdf");
    PagePrinter printer(path);
    printer.SetPageSize(paper);
    QPdfWriter device(path);
    if (resolution) {
        device.setResolution(resolution);
        printer.SetDevice(&device);
    }
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
    printer.PrintAt(41 - amount.size(), amount);
    printer.NewLine();
    rows << Padded(33, amount);

    const QString id = LongId(120);
    printer.PrintAt(15, id);
    printer.NewLine();
    rows << Padded(15, id.left(columns - 14)) << id.mid(columns - 14);

    const QString inked(columns + 1, QLatin1Char('W'));
    printer.PrintAt(1, inked);
    printer.NewLine();
    rows << inked.left(columns) << "W";

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

void PagePrinterTest::neverAsksThePrintService()
{
    // First in the run: libcups keeps the first server it is pointed at.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    HangingUpService service(dir.filePath("cups.sock"));
    QVERIFY(service.Listening());
    const QByteArray saved = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", dir.filePath("cups.sock").toLocal8Bit());

    const QString path = dir.filePath("alone.pdf");
    PagePrinter printer(path);
    printer.PrintAt(1, "Alone");
    printer.NewLine();
    const PrintResult result = printer.EndDoc("Alone");

    if (saved.isNull())
        qunsetenv("CUPS_SERVER");
    else
        qputenv("CUPS_SERVER", saved);
    QCOMPARE(result.status, PrintResult::Status::Printed);
    // A print service that hangs would have held the page layout up.
    QCOMPARE(service.Callers(), 0);
    const PdfText pdf = ReadPdfText(path);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QCOMPARE(pdf.Lines(0), QStringList({"Alone"}));
}

void PagePrinterTest::zonesOnThePage_data()
{
    QTest::addColumn<Statement>("statement");
    QTest::addColumn<QString>("expected"); // the logical line, one character a column

    const auto zone = Text({}, Separator::Zone);
    const QString id14 = LongId(14);
    const QString id28 = LongId(28);
    QTest::newRow("14-character ID: next zone strictly right")
        << Statement{zone, Text(id14, Separator::Zone), Number(-250, Separator::Zone), Number(3, Separator::EndOfLine)}
        << Placed({{15, id14}, {43, "-250 "}, {57, " 3 "}});
    QTest::newRow("28-character ID")
        << Statement{zone, Text(id28, Separator::Zone), Number(6000, Separator::Zone), Number(3, Separator::EndOfLine)}
        << Placed({{15, id28}, {57, " 6000 "}, {71, " 3 "}});
    QTest::newRow("income 14 columns wide")
        << Statement{zone, Text("1001", Separator::Zone), Number(123456789012, Separator::Zone),
                     Number(3, Separator::EndOfLine)}
        << Placed({{15, "1001"}, {29, " 123456789012 "}, {57, " 3 "}});
    // The carriage return prints as nothing; the accent after it stands on a
    // dotted circle, not on the P.
    QTest::newRow("mark after a control")
        << Statement{zone, Text(QString::fromUtf8("P\r\u0301"), Separator::Zone), Number(6000, Separator::Zone),
                     Number(3, Separator::EndOfLine)}
        << Placed({{15, QString::fromUtf8("P\u25CC\u0301")}, {29, " 6000 "}, {43, " 3 "}});
    // Long enough for a drift of a column; ends one column past a zone start.
    const QString id6497 = LongId(6497);
    QTest::newRow("6,497-character ID over many rows")
        << Statement{zone, Text(id6497, Separator::Zone), Number(6000, Separator::Zone),
                     Number(3, Separator::EndOfLine)}
        << Placed({{15, id6497}, {6525, " 6000 "}, {6539, " 3 "}});
    const QString id100k = LongId(100000);
    QTest::newRow("100,000-character ID printed whole")
        << Statement{zone, Text(id100k, Separator::Zone), Number(6000, Separator::Zone),
                     Number(3, Separator::EndOfLine)}
        << Placed({{15, id100k}, {100017, " 6000 "}, {100031, " 3 "}});
}

void PagePrinterTest::zonesOnThePage()
{
    QFETCH(Statement, statement);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("zones.pdf");
    PagePrinter printer(path);
    printer.SetPageSize(QPageSize(QPageSize::A4));
    ReportWriter writer(printer);
    writer.PrintStatement(statement);
    QCOMPARE(writer.EndDoc().status, PrintResult::Status::Printed);

    const PdfText pdf = ReadPdfText(path);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QCOMPARE(AllRows(pdf, kA4Lines), Rows(expected, kA4Columns));
}

void PagePrinterTest::scriptsOnThePage_data()
{
    QTest::addColumn<QString>("id");
    // Where the income must start, or 0 where only the drawn glyphs decide.
    QTest::addColumn<int>("zone");
    // pdftotext gives the ID back as typed, up to compatibility forms: the
    // CJK face draws U+65E5 and the radical U+2F47 with one glyph, and the
    // PDF's text layer may name either.
    QTest::addColumn<bool>("readsBack");

    // Nine CJK characters are far wider than nine columns.
    QTest::newRow("CJK") << QString::fromUtf8("漢字テスト한국어日本") << 43 << true;
    QTest::newRow("combining marks: 14 characters as read")
        << QString::fromUtf8("José Muñoz-Röe") << 43 << true;
    QTest::newRow("Hebrew and Arabic") << QString::fromUtf8("שלום-مرحبا-42") << 0 << false;
    QTest::newRow("emoji") << QString::fromUtf8("😀👍🏽👨‍👩‍👧 ok") << 0 << false;
    // Drawn by the toolkit's fallback to the system's Noto faces. The text
    // layer gives a vowel sign drawn before its consonant (Bengali ি) back in
    // drawn order and a Khmer ligature not at all, and pdftotext splits a word
    // where Thai or Khmer hands over to DejaVu's digits; these IDs avoid that.
    QTest::newRow("Devanagari") << QString::fromUtf8("राम कुमार-42") << 0 << true;
    QTest::newRow("Bengali") << QString::fromUtf8("রহমান দাস-42") << 0 << true;
    QTest::newRow("Thai") << QString::fromUtf8("สมชาย ใจดี") << 0 << true;
    QTest::newRow("Khmer") << QString::fromUtf8("សុខ មុនី") << 0 << true;
    QTest::newRow("Ethiopic") << QString::fromUtf8("አበበ በቀለ-42") << 0 << true;
    // The toolkit turns Thaana down in every face; its letters are drawn
    // from the face's own glyphs, and what follows them prints as anywhere.
    QTest::newRow("Thaana, then digits") << QString::fromUtf8("ދިވެހި 1234-A") << 0 << false;
    QTest::newRow("Thaana phrase between Latin") << QString::fromUtf8("AB ދިވެހި ރާއްޖެ 7") << 0 << false;
}

void PagePrinterTest::scriptsOnThePage()
{
    QFETCH(QString, id);
    QFETCH(int, zone);
    QFETCH(bool, readsBack);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("scripts.pdf");
    PagePrinter printer(path);
    ReportWriter writer(printer);
    writer.PrintStatement({Text({}, Separator::Zone), Text(id, Separator::Zone), Number(6000, Separator::Zone),
                           Number(3, Separator::EndOfLine)});
    QCOMPARE(writer.EndDoc().status, PrintResult::Status::Printed);

    const PdfText pdf = ReadPdfText(path);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    const auto income = std::find_if(pdf.words.cbegin(), pdf.words.cend(),
                                     [](const PdfWord &word) { return word.text == QLatin1String("6000"); });
    QVERIFY(income != pdf.words.cend());
    QCOMPARE(income->Line(), 0);

    // Columns measured on the paper: the income's own digits give the pitch.
    constexpr double margin = PagePrinter::kMarginPoints;
    const double pitch = (income->xMax - income->xMin) / 4;
    double idEnd = margin; // right edge of the ID's drawn glyphs
    QStringList idWords;
    for (const PdfWord &word : pdf.words) {
        if (word.Line() == 0 && word.xMin < income->xMin) {
            idEnd = std::max(idEnd, word.xMax);
            idWords << word.text;
        }
    }
    const double idEndColumn = (idEnd - margin) / pitch + 1;
    QVERIFY2(idEndColumn > 15.5, "the ID drew nothing");

    // The sign blank is at the zone start, the digits one column on.
    const double incomeColumn = (income->xMin - margin) / pitch;
    const int incomeZone = static_cast<int>(std::lround(incomeColumn));
    QVERIFY2(std::abs(incomeColumn - incomeZone) < 0.02, qPrintable(QString::number(incomeColumn)));
    QCOMPARE((incomeZone - 1) % ZoneWidth, 0);
    const QByteArray where = QStringLiteral("ID ends at %1, income at %2").arg(idEndColumn).arg(incomeZone).toUtf8();
    QVERIFY2(incomeZone > idEndColumn - 0.02, where.constData());
    QVERIFY2(incomeZone - ZoneWidth <= idEndColumn + 0.02, where.constData());
    if (zone != 0)
        QCOMPARE(incomeZone, zone);
    if (readsBack)
        QCOMPARE(idWords.join(QLatin1Char(' ')).normalized(QString::NormalizationForm_KC),
                 id.normalized(QString::NormalizationForm_KC));
    // Whatever the script, the ID's Latin letters and digits are all there.
    const QString read = idWords.join(QString()).normalized(QString::NormalizationForm_KC);
    static const QRegularExpression latin(QStringLiteral("[A-Za-z0-9]+"));
    for (const QRegularExpressionMatch &match : latin.globalMatch(id.normalized(QString::NormalizationForm_KC)))
        QVERIFY2(read.contains(match.captured()), qPrintable(read));
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
    QVERIFY(std::isfinite(printer.PrintAt(1, "Name")));
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
