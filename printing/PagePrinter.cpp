#include "PagePrinter.h"

#include "MarksAfterControls.h"

#include <QDir>
#include <QPageLayout>
#include <QPaintDevice>
#include <QPdfWriter>
#include <QTextBoundaryFinder>
#include <QTextOption>

#include <algorithm>
#include <climits>
#include <cmath>

// Rows are counted on this, the same on every device: at the PDF's own
// resolution, with the font's design widths. A printer rounds each glyph's
// width and ink to its dots, and the toolkit's line breaking counts the ink
// of a row's last glyph: at 300 dpi a K, R or W inks a dot past its advance,
// so a row ending in one would break a character early there.
class Ruler final : public QPaintDevice
{
public:
    static constexpr int kDpi = 1200;

    QPaintEngine *paintEngine() const override { return nullptr; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return kDpi;
        case PdmWidth:
        case PdmHeight:
            return 10 * kDpi;
        case PdmWidthMM:
        case PdmHeightMM:
            return 254;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }
};

namespace {

// Widths here are sums of the font's own fixed-point advances, so whole-
// character texts measure whole columns to far better than this; anything
// closer to a whole column than this is that whole column.
constexpr double kColumnSlack = 1e-3;

QTextOption RowOption(QTextOption::WrapMode wrap)
{
    QTextOption option;
    // Rows are filled to the edge, breaking between any two characters as
    // the reader sees them, never inside one.
    option.setWrapMode(wrap);
    // A number's trailing blank takes its column like any other character.
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    // A text in a right-to-left script still starts at its column.
    option.setTextDirection(Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    return option;
}

QTextOption RulerOption(QTextOption::WrapMode wrap)
{
    QTextOption option = RowOption(wrap);
    option.setUseDesignMetrics(true);
    return option;
}

// The directional embeddings, overrides and isolates still open at position
// end of text, in order: a row that starts there reads on in them.
QString OpenDirections(const QString &text, qsizetype end)
{
    QString open;
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t c = text[i].unicode();
        if ((c >= u'\u202A' && c <= u'\u202E' && c != u'\u202C') || (c >= u'\u2066' && c <= u'\u2068')) {
            open += text[i];
        } else if (c == u'\u202C') {
            if (!open.isEmpty() && open.back() >= u'\u202A' && open.back() <= u'\u202E')
                open.chop(1);
        } else if (c == u'\u2069') {
            const qsizetype isolate = std::max({open.lastIndexOf(u'\u2066'), open.lastIndexOf(u'\u2067'),
                                                open.lastIndexOf(u'\u2068')});
            if (isolate >= 0)
                open.truncate(isolate);
        }
    }
    return open;
}

double Snapped(double columns)
{
    const double whole = std::round(columns);
    return std::abs(columns - whole) < kColumnSlack ? whole : columns;
}

} // namespace

QFont PagePrinter::ReportFont()
{
    return ReportFontFor(QString());
}

PagePrinter::PagePrinter(const QString &filePath) : m_filePath(filePath), m_ruler(std::make_unique<Ruler>()) {}

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

void PagePrinter::SetDevice(QPagedPaintDevice *device)
{
    m_givenDevice = device;
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
    m_pieces.clear();
    m_faceless = FacelessScripts();
    m_line = 0;
    m_metrics.reset();

    m_device = m_givenDevice;
    if (!m_device) {
        if (m_filePath.isEmpty()) {
            Fail(QStringLiteral("no file name was given"));
            return;
        }
        m_writer = std::make_unique<QPdfWriter>(m_filePath);
        m_device = m_writer.get();
    }
    m_device->setPageSize(QPageSize(QPageSize::A4));
    if (m_pageSize.isValid() && !m_device->setPageSize(m_pageSize)) {
        Fail(QStringLiteral("the paper size %1 cannot be used").arg(m_pageSize.name()));
        return;
    }
    if (!m_device->setPageMargins(QMarginsF(kMarginPoints, kMarginPoints, kMarginPoints, kMarginPoints),
                                  QPageLayout::Point)) {
        Fail(QStringLiteral("the margins do not fit on the paper"));
        return;
    }
    if (!m_painter.begin(m_device)) {
        Fail(QStringLiteral("the file could not be opened for writing"));
        return;
    }

    m_font = ReportFont();
    m_painter.setFont(m_font);
    // Measured on the device: screen metrics would put the columns
    // elsewhere. The column is a glyph's own advance, the unit the rows are
    // laid out in; the font's average-width field differs from it by a hair.
    m_metrics.emplace(m_font, m_device);
    m_columnWidth = m_metrics->horizontalAdvance(QLatin1Char('0'));
    m_rulerColumn = RulerWidth(QStringLiteral("0"), m_font);
    if (!(m_columnWidth > 0.0) || !(m_rulerColumn > 0.0)) {
        Fail(QStringLiteral("no fixed-pitch font is available"));
        m_metrics.reset();
        return;
    }

    const double unitsPerPoint = m_device->logicalDpiY() / 72.0;
    const QRectF area = m_device->pageLayout().paintRect(QPageLayout::Point);
    m_linePitch = kLinePitchPoints * unitsPerPoint;
    m_columnsPerRow =
        std::max(1, static_cast<int>(std::floor(area.width() * Ruler::kDpi / 72.0 / m_rulerColumn + kColumnSlack)));
    m_linesPerPage = std::max(1, static_cast<int>(std::floor(area.height() / kLinePitchPoints + 1e-9)));
}

double PagePrinter::RulerWidth(const QString &text, const QFont &font) const
{
    QTextLayout layout(text, font, m_ruler.get());
    layout.setTextOption(RulerOption(QTextOption::NoWrap));
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return line.isValid() ? line.naturalTextWidth() : 0.0;
}

double PagePrinter::PrintAt(double column, const QString &typed)
{
    const QString text = DottedCirclesUnderMarksAfterControls(typed);
    if (!m_open)
        Begin();
    if (text.isEmpty())
        return column;
    if (!m_failure.isEmpty())
        return column + static_cast<double>(text.size());
    return PlaceText(column, m_faceless.WithBoxes(text));
}

std::pair<qsizetype, double> PagePrinter::RowAndOffset(double column) const
{
    // Logical column c sits in row (c-1) div N at (c-1) mod N.
    const double capacity = m_columnsPerRow;
    const double pos = std::isfinite(column) ? std::max(column - 1.0, 0.0) : 0.0;
    const auto row = static_cast<qsizetype>(std::floor(pos / capacity));
    return {row, pos - static_cast<double>(row) * capacity};
}

double PagePrinter::PlaceText(double column, const QString &text)
{
    // Text crossing the right edge carries on from the left margin of the
    // next row.
    const double capacity = m_columnsPerRow;
    auto [row, x] = RowAndOffset(column);
    const QFont font = ReportFontFor(text);

    // A character too wide for what is left of the row starts the next one.
    // (Blanks may hang past the edge: they draw nothing.)
    if (x > 0.0 && !text.front().isSpace()) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        const qsizetype first = finder.toNextBoundary();
        if (RulerWidth(text.left(first), font) / m_rulerColumn > capacity - x + kColumnSlack) {
            ++row;
            x = 0.0;
        }
    }

    // The first row holds what fits between x and the right edge, every
    // later row a full width.
    QTextLayout ruled(text, font, m_ruler.get());
    ruled.setTextOption(RulerOption(QTextOption::WrapAnywhere));
    ruled.setFormats(MarksOnCircles(text));
    ruled.beginLayout();
    for (double left = x;; left = 0.0) {
        QTextLine line = ruled.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth((capacity - left + kColumnSlack) * m_rulerColumn);
    }
    ruled.endLayout();
    const int rows = ruled.lineCount();
    if (rows == 0)
        return column;

    // Each row's characters exactly, drawn as a line of their own.
    for (int i = 0; i < rows; ++i) {
        const QTextLine ruledLine = ruled.lineAt(i);
        const QString open = OpenDirections(text, ruledLine.textStart());
        const QString onRow = open + text.mid(ruledLine.textStart(), ruledLine.textLength());
        auto layout = std::make_unique<QTextLayout>(onRow, font, m_device);
        layout->setTextOption(RowOption(QTextOption::NoWrap));
        layout->setFormats(MarksOnCircles(onRow));
        layout->setCacheEnabled(true);
        layout->beginLayout();
        QTextLine line = layout->createLine();
        layout->endLayout();
        line.setPosition(QPointF((i == 0 ? x : 0.0) * m_columnWidth, 0.0));
        m_pieces.push_back({row + i, std::move(layout)});
    }

    // Where the last glyph really ended, counted in columns from the row's start.
    const double left = rows == 1 ? x : 0.0;
    const double end = static_cast<double>(row + rows - 1) * capacity + left
                       + ruled.lineAt(rows - 1).naturalTextWidth() / m_rulerColumn;
    return Snapped(end) + 1.0;
}

void PagePrinter::NewLine()
{
    if (!m_open)
        Begin();
    if (!m_failure.isEmpty())
        return;
    DrawLine();
}

bool PagePrinter::TurnPageIfFull()
{
    if (m_line < m_linesPerPage)
        return true;
    if (!m_device->newPage()) {
        Fail(QStringLiteral("a new page could not be started"));
        return false;
    }
    m_line = 0;
    return true;
}

void PagePrinter::DrawLine()
{
    qsizetype rows = 1;
    for (const RowPiece &piece : m_pieces)
        rows = std::max(rows, piece.row + 1);
    for (qsizetype row = 0; row < rows; ++row) {
        if (!TurnPageIfFull())
            break;
        // Every face on the row shares the report font's baseline.
        const double baseline = m_line * m_linePitch + m_metrics->ascent();
        // In the order printed, so the PDF's text holds the line as typed.
        for (const RowPiece &piece : m_pieces) {
            if (piece.row != row)
                continue;
            const QTextLine line = piece.layout->lineAt(0);
            line.draw(&m_painter, QPointF(0.0, baseline - line.ascent()));
        }
        ++m_line;
    }
    m_pieces.clear();
}

PrintResult PagePrinter::EndDoc(const QString &jobName)
{
    Q_UNUSED(jobName);
    if (!m_open)
        Begin(); // nothing was printed: still a document, of one blank page
    if (m_failure.isEmpty() && !m_pieces.empty())
        DrawLine();
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

    m_pieces.clear();
    m_device = nullptr;
    m_writer.reset();
    m_metrics.reset();
    m_failure.clear();
    m_open = false;
    return result;
}
