#include "PagePrinter.h"

#include "MarksAfterControls.h"

#include <QDir>
#include <QFontDatabase>
#include <QHash>
#include <QPageLayout>
#include <QPdfWriter>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <tuple>

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

// Characters of no script of their own, and marks, which join their
// neighbours' run.
bool OfNoScript(char32_t c)
{
    return QChar::script(c) <= QChar::Script_Common;
}

bool RightToLeft(char32_t c)
{
    const QChar::Direction direction = QChar::direction(c);
    return direction == QChar::DirR || direction == QChar::DirAL;
}

bool Invisible(char32_t c)
{
    return QChar::category(c) == QChar::Other_Format;
}

// The first installed family with a glyph for every visible character of
// the grapheme, those that served before first, then by name; empty if none
// has. Remembered for the run: asking every face takes a good part of a
// second. A printer may be drawn on from the print service's thread.
QString FamilyFor(const QString &grapheme)
{
    static std::mutex lock;
    static QHash<QString, QString> known;
    static QStringList served;
    const std::lock_guard guard(lock);
    if (const auto found = known.constFind(grapheme); found != known.cend())
        return *found;
    const QList<uint> characters = grapheme.toUcs4();
    QString family;
    for (const QString &candidate : served + QFontDatabase::families()) {
        const QRawFont face = QRawFont::fromFont(QFont(candidate));
        // The box face has no character map, and no name to ask for.
        if (face.isValid() && !face.fontTable("cmap").isEmpty() && face.familyName() == candidate
            && std::all_of(characters.cbegin(), characters.cend(),
                           [&face](char32_t c) { return Invisible(c) || face.supportsCharacter(c); })) {
            family = candidate;
            break;
        }
    }
    if (!family.isEmpty() && !served.contains(family))
        served.prepend(family);
    known.insert(grapheme, family);
    return family;
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
    m_drawn.clear();
    m_refused = {};
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

double PagePrinter::PrintAt(double column, const QString &typed)
{
    const QString text = DottedCirclesUnderMarksAfterControls(typed);
    if (!m_open)
        Begin();
    if (text.isEmpty())
        return column;
    if (!m_failure.isEmpty())
        return column + static_cast<double>(text.size());

    const QList<uint> characters = text.toUcs4();
    if (std::none_of(characters.cbegin(), characters.cend(), [this](char32_t c) { return Refused(c); }))
        return PlaceText(column, text);

    // The toolkit would draw the refused script's whole run as boxes, with
    // every digit, blank and mark that took its script: the refused
    // characters are drawn here instead, the rest laid out as ever. Blanks
    // between right-to-left letters join them, so a phrase reads from the
    // right, word after word.
    struct Grapheme
    {
        QString text;
        bool drawn;
        bool rightToLeft;
    };
    std::vector<Grapheme> graphemes;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype start = 0, end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        // After Indic letters the finder may also stop inside a surrogate pair.
        if (end < text.size() && text[end].isLowSurrogate())
            continue;
        const QString grapheme = text.mid(start, end - start);
        const QList<uint> codes = grapheme.toUcs4();
        const bool drawn = std::any_of(codes.cbegin(), codes.cend(), [this](char32_t c) { return Refused(c); });
        graphemes.push_back({grapheme, drawn, drawn && RightToLeft(codes.front())});
        start = end;
    }
    for (std::size_t i = 0; i < graphemes.size();) {
        if (!graphemes[i].rightToLeft) {
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        while (next < graphemes.size() && !graphemes[next].drawn && graphemes[next].text.front().isSpace())
            ++next;
        if (next > i + 1 && next < graphemes.size() && graphemes[next].rightToLeft)
            for (std::size_t blank = i + 1; blank < next; ++blank)
                graphemes[blank] = {graphemes[blank].text, true, true};
        i = next;
    }
    for (std::size_t i = 0; i < graphemes.size();) {
        std::size_t next = i;
        QStringList piece;
        while (next < graphemes.size() && graphemes[next].drawn == graphemes[i].drawn
               && graphemes[next].rightToLeft == graphemes[i].rightToLeft)
            piece << graphemes[next++].text;
        column = graphemes[i].drawn ? PlaceDrawn(column, piece, graphemes[i].rightToLeft)
                                    : PlaceText(column, piece.join(QString()));
        i = next;
    }
    return column;
}

bool PagePrinter::Refused(char32_t c)
{
    if (OfNoScript(c))
        return false;
    // The toolkit turns a script down when no face's tables name it, and
    // then draws with a face of boxes, which has no character map.
    signed char &known = m_refused[QChar::script(c)];
    if (known == 0) {
        QTextLayout layout(QString::fromUcs4(&c, 1), m_font, m_device);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        known = std::any_of(runs.cbegin(), runs.cend(),
                            [](const QGlyphRun &run) { return run.rawFont().fontTable("cmap").isEmpty(); })
                    ? -1
                    : 1;
    }
    return known < 0;
}

PagePrinter::Drawn PagePrinter::Glyphs(const QString &grapheme)
{
    Drawn drawn{0, 0.0, 1.0, {}, 0, 0};
    const QList<uint> characters = grapheme.toUcs4();
    if (grapheme.front().isSpace())
        return drawn; // a blank between right-to-left words: one column, nothing drawn
    const QString family = FamilyFor(grapheme);
    if (family.isEmpty()) {
        drawn.boxes = static_cast<int>(
            std::count_if(characters.cbegin(), characters.cend(), [](char32_t c) { return !Invisible(c); }));
        drawn.width = drawn.boxes;
        return drawn;
    }
    QRawFont face = QRawFont::fromFont(QFont(family));
    face.setPixelSize(m_font.pointSizeF() * m_device->logicalDpiY() / 72.0);
    // Letters side by side; a mark centred over the letter before it, at the
    // height the face gives it, as a shaper places marks when a face has no
    // anchors for them.
    QList<quint32> indexes;
    QList<QPointF> positions;
    double pen = 0.0;
    QRectF base;
    for (char32_t c : characters) {
        if (Invisible(c))
            continue;
        const quint32 glyph = face.glyphIndexesForString(QString::fromUcs4(&c, 1)).value(0);
        const QRectF bounds = face.boundingRect(glyph);
        if (QChar::isMark(c)) {
            if (indexes.isEmpty()) { // nothing to sit on: a column of its own
                base = QRectF(pen, 0.0, m_columnWidth, 0.0);
                pen += m_columnWidth;
            }
            positions << QPointF(base.center().x() - bounds.center().x(), 0.0);
        } else {
            positions << QPointF(pen, 0.0);
            base = bounds.translated(pen, 0.0);
            pen += face.advancesForGlyphIndexes({glyph}, QRawFont::UseDesignMetrics).value(0).x();
        }
        indexes << glyph;
    }
    drawn.glyphs.setRawFont(face);
    drawn.glyphs.setGlyphIndexes(indexes);
    drawn.glyphs.setPositions(positions);
    drawn.width = pen / m_columnWidth;
    return drawn;
}

std::pair<qsizetype, double> PagePrinter::RowAndOffset(double column) const
{
    // Logical column c sits in row (c-1) div N at (c-1) mod N.
    const double capacity = m_columnsPerRow;
    const double pos = std::isfinite(column) ? std::max(column - 1.0, 0.0) : 0.0;
    const auto row = static_cast<qsizetype>(std::floor(pos / capacity));
    return {row, pos - static_cast<double>(row) * capacity};
}

double PagePrinter::PlaceDrawn(double column, const QStringList &graphemes, bool rightToLeft)
{
    const double capacity = m_columnsPerRow;
    qsizetype row = 0;
    double x = 0.0;
    std::tie(row, x) = RowAndOffset(column); // plain variables: the lambda below captures them

    // Row by row in the order typed; a right-to-left stretch is then turned
    // round within its row, so it reads from the right. Each row's glyphs
    // from one face are one run, in the order typed, so the PDF's text
    // holds them as typed.
    std::vector<Drawn> onRow;
    double rowLeft = x;
    const auto finishRow = [&] {
        for (Drawn &drawn : onRow) {
            if (rightToLeft)
                drawn.x = rowLeft + x - drawn.x - drawn.width;
            Drawn *last = m_drawn.empty() ? nullptr : &m_drawn.back();
            if (last && last->row == drawn.row && last->before == drawn.before && !last->glyphs.isEmpty()
                && !drawn.glyphs.isEmpty() && last->glyphs.rawFont() == drawn.glyphs.rawFont()) {
                const QPointF offset((drawn.x - last->x) * m_columnWidth, 0.0);
                QList<QPointF> positions = last->glyphs.positions();
                for (const QPointF &position : drawn.glyphs.positions())
                    positions << position + offset;
                last->glyphs.setGlyphIndexes(last->glyphs.glyphIndexes() + drawn.glyphs.glyphIndexes());
                last->glyphs.setPositions(positions);
            } else {
                m_drawn.push_back(std::move(drawn));
            }
        }
        onRow.clear();
    };
    for (const QString &grapheme : graphemes) {
        Drawn drawn = Glyphs(grapheme);
        if (x > 0.0 && x + drawn.width > capacity + kColumnSlack) {
            finishRow();
            rowLeft = x = 0.0;
            ++row;
        }
        drawn.row = row;
        drawn.x = x;
        drawn.before = m_items.size();
        x += drawn.width;
        onRow.push_back(std::move(drawn));
    }
    finishRow();
    return Snapped(static_cast<double>(row) * capacity + x) + 1.0;
}

void PagePrinter::DrawBoxes(const Drawn &drawn, double baseline)
{
    // Each a column wide and the height of a capital, outlined: a row of
    // them still shows how many characters are missing.
    m_painter.save();
    QPen pen(Qt::black);
    pen.setWidthF(0.5 * m_device->logicalDpiY() / 72.0);
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    const double height = m_metrics->capHeight();
    for (int i = 0; i < drawn.boxes; ++i)
        m_painter.drawRect(
            QRectF((drawn.x + i + 0.15) * m_columnWidth, baseline - height, 0.7 * m_columnWidth, height));
    m_painter.restore();
}

double PagePrinter::PlaceText(double column, const QString &text)
{
    // Text crossing the right edge carries on from the left margin of the
    // next row.
    const double capacity = m_columnsPerRow;
    auto [row, x] = RowAndOffset(column);

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
    for (const Drawn &drawn : m_drawn)
        rows = std::max(rows, drawn.row + 1);
    for (qsizetype row = 0; row < rows; ++row) {
        if (!StartRow())
            break;
        // Every face on the row shares the report font's baseline.
        const double baseline = m_line * m_linePitch + m_metrics->ascent();
        // In the order printed, so the PDF's text holds the line as typed.
        auto drawn = m_drawn.cbegin();
        for (std::size_t i = 0; i <= m_items.size(); ++i) {
            for (; drawn != m_drawn.cend() && drawn->before == i; ++drawn) {
                if (drawn->row != row)
                    continue;
                if (drawn->boxes > 0)
                    DrawBoxes(*drawn, baseline);
                else if (!drawn->glyphs.isEmpty())
                    m_painter.drawGlyphRun(QPointF(drawn->x * m_columnWidth, baseline), drawn->glyphs);
            }
            if (i == m_items.size())
                break;
            const Item &item = m_items[i];
            const qsizetype index = row - item.firstRow;
            if (index < 0 || index >= item.layout->lineCount())
                continue;
            const QTextLine line = item.layout->lineAt(static_cast<int>(index));
            line.draw(&m_painter, QPointF(0.0, baseline - line.ascent()));
        }
        ++m_line;
    }
    m_items.clear();
    m_drawn.clear();
}

PrintResult PagePrinter::EndDoc(const QString &jobName)
{
    Q_UNUSED(jobName);
    if (!m_open)
        Begin(); // nothing was printed: still a document, of one blank page
    if (m_failure.isEmpty() && (!m_items.empty() || !m_drawn.empty()))
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
    m_drawn.clear();
    m_device = nullptr;
    m_writer.reset();
    m_metrics.reset();
    m_failure.clear();
    m_open = false;
    return result;
}
