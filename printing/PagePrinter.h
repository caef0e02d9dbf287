#pragma once

// Lays report lines out on pages of a PDF file in a fixed-pitch font:
// half-inch margins, six lines to the inch, one column per glyph advance of
// the font. A line too wide for the paper carries on in continuation rows
// rather than being cut off. Characters the font lacks (CJK, emoji, other
// scripts) come from fallback faces; their real widths decide where the next
// item may start, so nothing is ever drawn over. A script the toolkit turns
// down for every face (Thaana) is drawn from a face's own glyphs instead, and
// a character no face has as an outlined box, so neither takes its
// neighbours with it.
//
// Writing the PDF needs nothing but QtGui: no print service is asked
// anything, so a hung spooler cannot hold up the layout. The same layout can
// also be drawn on another paged device, a printer.

#include "Printer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageSize>
#include <QPainter>
#include <QString>
#include <QTextLayout>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QPagedPaintDevice;
class QPdfWriter;

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
    struct Item
    {
        qsizetype firstRow; // row of the current line the text starts on, 0-based
        std::unique_ptr<QTextLayout> layout; // one QTextLine per row from firstRow on
    };

    // Characters drawn from a face's glyphs (one character as the reader
    // sees it, or a row's run of them from one face), or as outlined boxes
    // where no face has them.
    struct Drawn
    {
        qsizetype row;
        double x;     // columns from the left margin
        double width; // columns
        QGlyphRun glyphs;
        int boxes = 0;
        std::size_t before = 0; // drawn before this many laid-out texts
    };

    void Begin();
    void Fail(const QString &sentence);
    double NaturalWidth(const QString &text) const;
    std::unique_ptr<QTextLayout> LayOut(const QString &text, double x) const;
    std::pair<qsizetype, double> RowAndOffset(double column) const; // row, and columns into it
    double PlaceText(double column, const QString &text);
    double PlaceDrawn(double column, const QStringList &graphemes, bool rightToLeft);
    Drawn Glyphs(const QString &grapheme);
    bool Refused(char32_t c);
    void DrawBoxes(const Drawn &drawn, double baseline);
    void LayOutLine();
    bool StartRow();

    QString m_filePath;
    QPageSize m_pageSize;

    QPagedPaintDevice *m_givenDevice = nullptr;
    std::unique_ptr<QPdfWriter> m_writer;
    QPagedPaintDevice *m_device = nullptr; // the given one, or the writer
    QPainter m_painter;
    QFont m_font;
    std::optional<QFontMetricsF> m_metrics;
    bool m_open = false;
    QString m_failure; // empty while all is well

    double m_columnWidth = 1.0; // device units
    double m_linePitch = 1.0;   // device units
    int m_columnsPerRow = 1;
    int m_linesPerPage = 1;
    int m_line = 0; // next line on the current page, 0-based
    std::vector<Item> m_items;
    std::vector<Drawn> m_drawn;
    std::array<signed char, QChar::ScriptCount> m_refused{}; // per script: 0 not asked, 1 drawn, -1 refused
};
