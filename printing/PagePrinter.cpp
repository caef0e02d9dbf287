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

// One line a row, the first starting left columns in, a column being unit
// wide. With capacity, each row is filled to that many columns; without
// (0), the text's own line separators end the rows.
void LayOutRows(QTextLayout &layout, double left, double unit, double capacity)
{
    layout.beginLayout();
    for (;; left = 0.0) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        if (capacity > 0.0)
            line.setLineWidth((capacity - left + kColumnSlack) * unit);
        line.setPosition(QPointF(left * unit, 0.0));
    }
    layout.endLayout();
}

qsizetype FirstGraphemeLength(const QString &text)
{
    // Asked of the text's start only: a finder works out the whole text it is given.
    for (qsizetype look = 64;; look *= 4) {
        const QString start = text.left(look);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, start);
        const qsizetype first = finder.toNextBoundary();
        if (first < start.size() || start.size() == text.size())
            return first;
    }
}

// The ruler measures with the font's own widths, unhinted: the same on
// every machine, whatever its font settings.
QTextOption RulerOption(QTextOption::WrapMode wrap)
{
    QTextOption option = RowOption(wrap);
    option.setUseDesignMetrics(true);
    return option;
}

QFont Unhinted(QFont font)
{
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
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
    m_items.clear();
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
    // The column is a glyph's own advance, the unit the rows are laid out
    // in; the font's average-width field differs from it by a hair.
    m_metrics.emplace(m_font, m_device);
    m_rulerColumn = RulerWidth(QStringLiteral("0"), m_font);
    // Where the device draws the ruler's own layout its columns are the
    // ruler's; elsewhere they are the device's own advance, which its rows
    // are laid out in.
    m_columnWidth = DrawsAsRuled() ? m_rulerColumn : m_metrics->horizontalAdvance(QLatin1Char('0'));
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
    QTextLayout layout(text, Unhinted(font), m_ruler.get());
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
        if (RulerWidth(text.left(FirstGraphemeLength(text)), font) / m_rulerColumn > capacity - x + kColumnSlack) {
            ++row;
            x = 0.0;
        }
    }

    // The first row holds what fits between x and the right edge, every
    // later row a full width.
    auto ruled = std::make_unique<QTextLayout>(text, Unhinted(font), m_ruler.get());
    ruled->setTextOption(RulerOption(QTextOption::WrapAnywhere));
    ruled->setFormats(MarksOnCircles(text));
    ruled->setCacheEnabled(true);
    LayOutRows(*ruled, x, m_rulerColumn, capacity);
    const int rows = ruled->lineCount();
    if (rows == 0)
        return column;
    // Where the last glyph really ended, counted in columns from the row's start.
    const double left = rows == 1 ? x : 0.0;
    const double end = static_cast<double>(row + rows - 1) * capacity + left
                       + ruled->lineAt(rows - 1).naturalTextWidth() / m_rulerColumn;

    // A device of the ruler's resolution, as the PDF file is, draws the
    // ruled layout itself; another lays the same rows out again.
    m_items.push_back({row, DrawsAsRuled() ? std::move(ruled) : RowsOnDevice(*ruled, text, font, x)});
    return Snapped(end) + 1.0;
}

bool PagePrinter::DrawsAsRuled() const
{
    return m_device->logicalDpiX() == Ruler::kDpi && m_device->logicalDpiY() == Ruler::kDpi;
}

std::unique_ptr<QTextLayout> PagePrinter::RowsOnDevice(const QTextLayout &ruled, const QString &text,
                                                       const QFont &font, double x) const
{
    // Each row's characters exactly, on a line of its own: a line separator
    // ends a line where the ruler ended the row, and the text stays one
    // paragraph, so directional overrides carry on over the break.
    QString onRows;
    onRows.reserve(text.size() + ruled.lineCount());
    for (int i = 0; i < ruled.lineCount(); ++i) {
        const QTextLine ruledLine = ruled.lineAt(i);
        if (i > 0)
            onRows += QChar::LineSeparator;
        onRows += QStringView(text).mid(ruledLine.textStart(), ruledLine.textLength());
    }
    auto layout = std::make_unique<QTextLayout>(onRows, font, m_device);
    layout->setTextOption(RowOption(QTextOption::NoWrap));
    layout->setFormats(MarksOnCircles(onRows));
    layout->setCacheEnabled(true);
    LayOutRows(*layout, x, m_columnWidth, 0.0);
    return layout;
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
    for (const Item &item : m_items)
        rows = std::max(rows, item.firstRow + item.layout->lineCount());
    for (qsizetype row = 0; row < rows; ++row) {
        if (!TurnPageIfFull())
            break;
        // Every face on the row shares the report font's baseline.
        const double baseline = m_line * m_linePitch + m_metrics->ascent();
        // In the order printed, so the PDF's text holds the line as typed.
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

    m_items.clear();
    m_device = nullptr;
    m_writer.reset();
    m_metrics.reset();
    m_failure.clear();
    m_open = false;
    return result;
}
