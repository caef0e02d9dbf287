#pragma once

// Reads a printed PDF back as text on the report grid: each word's page,
// line and column, worked out from where pdftotext finds it on the paper.

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

struct PdfWord
{
    int page = 0; // 0-based
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0; // points from the top left
    QString text;

    // Grid position for the page printer's margins and 12 pt lines; the character
    // width is the word's own (fixed pitch). Line is 0-based, column 1-based.
    int Line() const;
    int Column() const;
};

struct PdfText
{
    QList<QSizeF> pages; // in points
    QList<PdfWord> words;
    QString error; // empty when pdftotext ran and its output made sense

    // Page as text lines, every word placed at its column; up to the last
    // line that has anything on it.
    QStringList Lines(int page) const;
};

// Runs pdftotext -bbox on the file.
PdfText ReadPdfText(const QString &path);
