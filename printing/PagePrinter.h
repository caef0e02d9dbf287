#pragma once

// Lays report lines out on pages of a PDF file in a fixed-pitch font:
// half-inch margins, six lines to the inch, one column per glyph advance of
// the font. A line too wide for the paper carries on in continuation rows
// rather than being cut off. Which characters stand on which row is decided
// once, on a ruler that is the same for every device, and each row is then
// laid out on the device as a line of its own: a device that rounds widths to
// its dots cannot move a character to another row. Characters the font lacks come from
// fallback faces (ReportFaces.h); their real widths decide where the next
// item may start, so nothing is ever drawn over.
//
// Writing the PDF needs nothing but QtGui: no print service is asked
// anything, so a hung spooler cannot hold up the layout. The same layout can
// also be drawn on another paged device, a printer.

#include "Printer.h"
#include "ReportFaces.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QString>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QPagedPaintDevice;
class QPdfWriter;
class Ruler;

class PagePrinter : public Printer
{
public:
    // Margin on each side and line pitch, in points. Half-inch margins leave
    // 86 columns on A4 and 89 on Letter: room for the widest report line.
    static constexpr double kMarginPoints = 36.0;
    static constexpr double kLinePitchPoints = 12.0;

    // The font reports print in, fallbacks included.
    static QFont ReportFont();

    explicit PagePrinter(const QString &filePath = QString());
    ~PagePrinter() override;

    PagePrinter(const PagePrinter &) = delete;
    PagePrinter &operator=(const PagePrinter &) = delete;

    // Both take effect when the next document begins. An invalid page size
    // (QPageSize()) leaves A4.
    void SetFilePath(const QString &filePath);
    void SetPageSize(const QPageSize &pageSize);
    // Draws on device, which the caller keeps, instead of into the file.
    void SetDevice(QPagedPaintDevice *device);

    QString FilePath() const { return m_filePath; }

    // True from the first output of a document until its EndDoc.
    bool DocumentOpen() const { return m_open; }

    double PrintAt(double column, const QString &text) override;
    void NewLine() override;

    // Printed means the PDF file is complete. The PDF's title stays empty:
    // Qt writes it when the document begins, before the job name is known.
    PrintResult EndDoc(const QString &jobName) override;

private:
    // One text, laid out on the device with one line per row it stands on.
    struct Item
    {
        qsizetype firstRow; // of the current line, 0-based
        std::unique_ptr<QTextLayout> layout;
    };

    void Begin();
    void Fail(const QString &sentence);
    double RulerWidth(const QString &text, const QFont &font) const;
    std::pair<qsizetype, double> RowAndOffset(double column) const; // row, and columns into it
    double PlaceText(double column, const QString &text);
    bool DrawsAsRuled() const;
    std::unique_ptr<QTextLayout> RowsOnDevice(const QTextLayout &ruled, const QString &text, const QFont &font,
                                              double x) const;
    void DrawLine();
    bool TurnPageIfFull();

    QString m_filePath;
    QPageSize m_pageSize;

    QPagedPaintDevice *m_givenDevice = nullptr;
    std::unique_ptr<QPdfWriter> m_writer;
    QPagedPaintDevice *m_device = nullptr; // the given one, or the writer
    std::unique_ptr<Ruler> m_ruler;
    QPainter m_painter;
    QFont m_font;
    std::optional<QFontMetricsF> m_metrics;
    FacelessScripts m_faceless;
    bool m_open = false;
    QString m_failure; // empty while all is well

    double m_rulerColumn = 1.0; // ruler units
    double m_columnWidth = 1.0; // device units, the same width
    double m_linePitch = 1.0;   // device units
    int m_columnsPerRow = 1;
    int m_linesPerPage = 1;
    int m_line = 0; // next line on the current page, 0-based
    std::vector<Item> m_items;
};
