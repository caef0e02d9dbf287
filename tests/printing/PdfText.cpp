#include "PdfText.h"

#include "PagePrinter.h"

#include <QMap>
#include <QProcess>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMargin = PagePrinter::kMarginPoints;
constexpr double kPitch = PagePrinter::kLinePitchPoints;

} // namespace

int PdfWord::Line() const
{
    return static_cast<int>(std::lround((yMin - kMargin) / kPitch));
}

int PdfWord::Column() const
{
    // Combining marks take no width of their own.
    const auto spacing = std::count_if(text.cbegin(), text.cend(), [](QChar c) { return !c.isMark(); });
    const double charWidth = (xMax - xMin) / static_cast<double>(std::max<qsizetype>(spacing, 1));
    return static_cast<int>(std::lround((xMin - kMargin) / charWidth)) + 1;
}

QStringList PdfText::Lines(int page) const
{
    QMap<int, QList<const PdfWord *>> byLine;
    for (const PdfWord &word : words)
        if (word.page == page)
            byLine[word.Line()].append(&word);

    QStringList lines;
    for (auto it = byLine.cbegin(); it != byLine.cend(); ++it) {
        if (it.key() < 0)
            continue; // above the top margin; the caller checks margins itself
        while (lines.size() <= it.key())
            lines.append(QString());
        QList<const PdfWord *> row = it.value();
        std::sort(row.begin(), row.end(), [](const PdfWord *a, const PdfWord *b) { return a->xMin < b->xMin; });
        QString &line = lines[it.key()];
        for (const PdfWord *word : row) {
            const qsizetype at = std::max(word->Column() - 1, 0);
            // Overlapping words keep a blank between them so the mismatch shows.
            if (line.size() > at)
                line += QLatin1Char(' ');
            else
                line = line.leftJustified(at, QLatin1Char(' '));
            line += word->text;
        }
    }
    return lines;
}

PdfText ReadPdfText(const QString &path)
{
    PdfText result;
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(-1) || pdftotext.exitStatus() != QProcess::NormalExit
        || pdftotext.exitCode() != 0) {
        result.error = QStringLiteral("pdftotext failed on %1: %2 %3")
                           .arg(path, pdftotext.errorString(), QString::fromLocal8Bit(pdftotext.readAllStandardError()));
        return result;
    }

    QXmlStreamReader xml(pdftotext.readAllStandardOutput());
    const auto number = [&xml](const char *name) {
        return xml.attributes().value(QLatin1String(name)).toDouble();
    };
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("page")) {
            result.pages.append(QSizeF(number("width"), number("height")));
        } else if (xml.name() == QLatin1String("word")) {
            PdfWord word;
            word.page = static_cast<int>(result.pages.size()) - 1;
            word.xMin = number("xMin");
            word.yMin = number("yMin");
            word.xMax = number("xMax");
            word.yMax = number("yMax");
            word.text = xml.readElementText();
            result.words.append(word);
        }
    }
    if (xml.hasError())
        result.error = QStringLiteral("pdftotext output for %1 did not parse: %2").arg(path, xml.errorString());
    return result;
}
