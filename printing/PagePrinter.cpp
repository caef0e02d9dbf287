#include "PagePrinter.h"

#include <QDir>
#include <QPageLayout>
#include <QPdfWriter>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextOption>

#include <algorithm>
#include <cmath>

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

// The width of a column in points by the font's own design, whatever the
// device; 0 when the font cannot say.
double DesignColumnPoints(const QFont &font)
{
    QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid() || raw.unitsPerEm() <= 0)
        return 0.0;
    raw.setPixelSize(raw.unitsPerEm());
    const QList<QPointF> advances =
        raw.advancesForGlyphIndexes(raw.glyphIndexesForString(QStringLiteral("0")), QRawFont::UseDesignMetrics);
    return advances.isEmpty() ? 0.0 : advances.front().x() / raw.unitsPerEm() * font.pointSizeF();
}

double Snapped(double columns)
{
    const double whole = std::round(columns);
    return std::abs(columns - whole) < kColumnSlack ? whole : columns;
}

} // namespace

QFont PagePrinter::ReportFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPointSizeF(10.0);
    // Characters DejaVu lacks come from a fixed-pitch CJK face, then from a
    // monochrome emoji face: a colour emoji face embeds in a PDF as blank glyphs.
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Sans Mono CJK SC"),
                      QStringLiteral("Symbola")});
    // If those are missing, any fixed-pitch font keeps the columns.
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

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
    m_items.clear();
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
    // Measured on the PDF device: screen metrics would put the columns
    // elsewhere. The column is a glyph's own advance, the unit the rows are
    // laid out in; the font's average-width field differs from it by a hair,
    // enough to put a 14-character text short of its zone's end.
    m_metrics.emplace(m_font, m_device);
    m_columnWidth = NaturalWidth(QStringLiteral("0"));
    if (!(m_columnWidth > 0.0)) {
        Fail(QStringLiteral("no fixed-pitch font is available"));
        m_metrics.reset();
        return;
    }

    const double unitsPerPoint = m_device->logicalDpiY() / 72.0;
    const QRectF area = m_device->pageLayout().paintRect(QPageLayout::Point);
    m_linePitch = kLinePitchPoints * unitsPerPoint;
    // Each device rounds a glyph's width to its own dots, so a row holds as
    // many columns as the font's own design width gives on this paper, the
    // same on a printer as in the file: never more than fit here.
    const int fit = static_cast<int>(std::floor(area.width() * unitsPerPoint / m_columnWidth));
    const double designWidth = DesignColumnPoints(m_font);
    const int designed = designWidth > 0.0 ? static_cast<int>(std::floor(area.width() / designWidth)) : fit;
    m_columnsPerRow = std::max(1, std::min(fit, designed));
    m_linesPerPage = std::max(1, static_cast<int>(std::floor(area.height() / kLinePitchPoints + 1e-9)));
}

std::unique_ptr<QTextLayout> PagePrinter::LayOut(const QString &text, double x) const
{
    // The first row holds what fits between x and the right edge, every later
    // row a full width; the layout is kept and drawn as it was measured.
    auto layout = std::make_unique<QTextLayout>(text, m_font, m_device);
    layout->setTextOption(RowOption(QTextOption::WrapAnywhere));
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (double left = x;; left = 0.0) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth((m_columnsPerRow - left + kColumnSlack) * m_columnWidth);
        line.setPosition(QPointF(left * m_columnWidth, 0.0));
    }
    layout->endLayout();
    return layout;
}

double PagePrinter::NaturalWidth(const QString &text) const
{
    QTextLayout layout(text, m_font, m_device);
    layout.setTextOption(RowOption(QTextOption::NoWrap));
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return line.isValid() ? line.naturalTextWidth() : 0.0;
}

double PagePrinter::PrintAt(double column, const QString &text)
{
    if (!m_open)
        Begin();
    if (text.isEmpty())
        return column;
    if (!m_failure.isEmpty())
        return column + static_cast<double>(text.size());

    // Logical column c sits in row (c-1) div N at (c-1) mod N; text crossing
    // the right edge carries on from the left margin of the next row.
    const double capacity = m_columnsPerRow;
    const double pos = std::isfinite(column) ? std::max(column - 1.0, 0.0) : 0.0;
    qsizetype row = static_cast<qsizetype>(std::floor(pos / capacity));
    double x = pos - static_cast<double>(row) * capacity;

    // A character too wide for what is left of the row starts the next one.
    // (Blanks may hang past the edge: they draw nothing.)
    if (x > 0.0 && !text.front().isSpace()) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        const qsizetype first = finder.toNextBoundary();
        if (NaturalWidth(text.left(first)) / m_columnWidth > capacity - x + kColumnSlack) {
            ++row;
            x = 0.0;
        }
    }

    std::unique_ptr<QTextLayout> layout = LayOut(text, x);
    const qsizetype rows = layout->lineCount();
    if (rows == 0)
        return column;
    // Where the last glyph really ended, counted in columns from the line's start.
    const double left = rows == 1 ? x : 0.0;
    const double end = static_cast<double>(row + rows - 1) * capacity + left
                       + layout->lineAt(static_cast<int>(rows - 1)).naturalTextWidth() / m_columnWidth;
    m_items.push_back({row, std::move(layout)});
    return Snapped(end) + 1.0;
}

void PagePrinter::NewLine()
{
    if (!m_open)
        Begin();
    if (!m_failure.isEmpty())
        return;
    LayOutLine();
}

bool PagePrinter::StartRow()
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

void PagePrinter::LayOutLine()
{
    qsizetype rows = 1;
    for (const Item &item : m_items)
        rows = std::max(rows, item.firstRow + item.layout->lineCount());
    for (qsizetype row = 0; row < rows; ++row) {
        if (!StartRow())
            break;
        // Every face on the row shares the report font's baseline.
        const double baseline = m_line * m_linePitch + m_metrics->ascent();
        for (const Item &item : m_items) {
            const qsizetype index = row - item.firstRow;
            if (index < 0 || index >= item.layout->lineCount())
                continue;
            const QTextLine line = item.layout->lineAt(static_cast<int>(index));
            line.draw(&m_painter, QPointF(0.0, baseline - line.ascent()));
        }
        ++m_line;
    }
    m_items.clear();
}

PrintResult PagePrinter::EndDoc(const QString &jobName)
{
    Q_UNUSED(jobName);
    if (!m_open)
        Begin(); // nothing was printed: still a document, of one blank page
    if (m_failure.isEmpty() && !m_items.empty())
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

    m_items.clear();
    m_device = nullptr;
    m_writer.reset();
    m_metrics.reset();
    m_failure.clear();
    m_open = false;
    return result;
}
