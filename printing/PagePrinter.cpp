#include "PagePrinter.h"

#include <QDir>
#include <QFont>
#include <QPageLayout>
#include <QPrinter>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace {

// Glyph advances of a fixed-pitch font differ from its average width in the
// last few digits; a row of exactly N characters must still count as fitting.
constexpr double kColumnSlack = 0.01;

QFont ReportFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPointSizeF(10.0);
    // If that family is missing, any fixed-pitch font keeps the columns.
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

} // namespace

PagePrinter::PagePrinter(const QString &filePath) : m_filePath(filePath) {}

PagePrinter::~PagePrinter()
{
    if (m_painter.isActive())
        m_painter.end();
}

void PagePrinter::SetFilePath(const QString &filePath)
{
    m_filePath = filePath;
}

void PagePrinter::SetPageSize(const QPageSize &pageSize)
{
    m_pageSize = pageSize;
}

void PagePrinter::Fail(const QString &reason)
{
    // The first problem is the one worth telling; later ones follow from it.
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("The report could not be written to \"%1\" because %2.")
                        .arg(QDir::toNativeSeparators(m_filePath), reason);
}

void PagePrinter::Begin()
{
    m_open = true;
    m_failure.clear();
    m_items.clear();
    m_line = 0;
    m_metrics.reset();

    if (m_filePath.isEmpty()) {
        Fail(QStringLiteral("no file name was given"));
        return;
    }

    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setOutputFormat(QPrinter::PdfFormat);
    m_printer->setOutputFileName(m_filePath);
    if (m_pageSize.isValid() && !m_printer->setPageSize(m_pageSize)) {
        Fail(QStringLiteral("the paper size %1 cannot be used").arg(m_pageSize.name()));
        return;
    }
    if (!m_printer->setPageMargins(QMarginsF(kMarginPoints, kMarginPoints, kMarginPoints, kMarginPoints),
                                   QPageLayout::Point)) {
        Fail(QStringLiteral("the margins do not fit on the paper"));
        return;
    }
    if (!m_painter.begin(m_printer.get())) {
        Fail(QStringLiteral("the file could not be opened for writing"));
        return;
    }

    const QFont font = ReportFont();
    m_painter.setFont(font);
    // Measured on the printer: screen metrics would put the columns elsewhere.
    m_metrics.emplace(font, m_printer.get());
    m_columnWidth = m_metrics->averageCharWidth();
    if (!(m_columnWidth > 0.0)) {
        Fail(QStringLiteral("no fixed-pitch font is available"));
        m_metrics.reset();
        return;
    }

    const double unitsPerPoint = m_printer->resolution() / 72.0;
    const QRectF area = m_printer->pageLayout().paintRect(QPageLayout::Point);
    m_linePitch = kLinePitchPoints * unitsPerPoint;
    m_columnsPerRow = std::max(1, static_cast<int>(std::floor(area.width() * unitsPerPoint / m_columnWidth)));
    m_linesPerPage = std::max(1, static_cast<int>(std::floor(area.height() / kLinePitchPoints + 1e-9)));
}

double PagePrinter::ColumnsOf(const QString &text)
{
    if (!m_open)
        Begin();
    if (!m_metrics)
        return static_cast<double>(text.size()); // the document failed; any guess will do
    return m_metrics->horizontalAdvance(text) / m_columnWidth;
}

double PagePrinter::PrintAt(double column, const QString &text)
{
    const double end = column + ColumnsOf(text);
    if (!m_failure.isEmpty())
        return end;
    m_items.append({column, text});
    return end;
}

void PagePrinter::NewLine()
{
    if (!m_open)
        Begin();
    if (!m_failure.isEmpty())
        return;
    LayOutLine();
}

QList<QList<PagePrinter::Piece>> PagePrinter::SplitIntoRows() const
{
    // Logical column c sits in row (c-1) div N at (c-1) mod N; text crossing
    // the right edge carries on from the left margin of the next row.
    const double capacity = m_columnsPerRow;
    QList<QList<Piece>> rows(1);
    const auto rowAt = [&rows](qsizetype row) -> QList<Piece> & {
        while (rows.size() <= row)
            rows.append(QList<Piece>());
        return rows[row];
    };

    for (const Item &item : m_items) {
        if (item.text.isEmpty())
            continue;
        const double pos = std::isfinite(item.column) ? std::max(item.column - 1.0, 0.0) : 0.0;
        qsizetype row = static_cast<qsizetype>(std::floor(pos / capacity));
        double x = pos - static_cast<double>(row) * capacity;

        // Break between characters as seen by the reader, never inside one.
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, item.text);
        qsizetype start = 0;
        qsizetype fits = 0; // text[start, fits) fits on the row
        for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
            const double used = m_metrics->horizontalAdvance(item.text.mid(start, end - start)) / m_columnWidth;
            if (x + used <= capacity + kColumnSlack) {
                fits = end;
                continue;
            }
            if (fits > start) {
                rowAt(row).append({x, item.text.mid(start, fits - start)});
            } else if (x == 0.0) {
                // One character wider than a whole row: print it anyway.
                rowAt(row).append({x, item.text.mid(start, end - start)});
                fits = end;
            }
            ++row;
            x = 0.0;
            start = fits;
        }
        if (start < item.text.size())
            rowAt(row).append({x, item.text.mid(start)});
    }
    return rows;
}

bool PagePrinter::StartRow()
{
    if (m_line < m_linesPerPage)
        return true;
    if (!m_printer->newPage()) {
        Fail(QStringLiteral("a new page could not be started"));
        return false;
    }
    m_line = 0;
    return true;
}

void PagePrinter::LayOutLine()
{
    const QList<QList<Piece>> rows = SplitIntoRows();
    m_items.clear();
    for (const QList<Piece> &row : rows) {
        if (!StartRow())
            return;
        const double baseline = m_line * m_linePitch + m_metrics->ascent();
        for (const Piece &piece : row)
            m_painter.drawText(QPointF(piece.x * m_columnWidth, baseline), piece.text);
        ++m_line;
    }
}

PrintResult PagePrinter::EndDoc(const QString &jobName)
{
    Q_UNUSED(jobName);
    if (!m_open)
        Begin(); // nothing was printed: still a document, of one blank page
    if (m_failure.isEmpty() && !m_items.isEmpty())
        LayOutLine();
    if (m_painter.isActive() && !m_painter.end())
        Fail(QStringLiteral("the file could not be completed"));

    PrintResult result;
    if (m_failure.isEmpty()) {
        result.status = PrintResult::Status::Printed;
        result.detail = m_filePath;
    } else {
        result.status = PrintResult::Status::Failed;
        result.detail = m_failure;
    }

    m_printer.reset();
    m_metrics.reset();
    m_items.clear();
    m_failure.clear();
    m_open = false;
    return result;
}
