#pragma once

#include "Printer.h"

#include <QList>
#include <QString>
#include <QStringList>

// Records what a report prints: each document as text lines with every item
// placed at its column (one character a column), and each item's column.
class CapturePrinter : public Printer
{
public:
    struct Item
    {
        int column;
        QString text;
        bool operator==(const Item &) const = default;
    };
    struct Document
    {
        QString jobName;
        QList<QList<Item>> lines;
        QStringList Text() const;
    };

    double PrintAt(double column, const QString &text) override;
    void NewLine() override;
    PrintResult EndDoc(const QString &jobName) override;

    QList<Document> documents;
    PrintResult result; // what EndDoc answers
    bool documentOpen = false;

private:
    QList<QList<Item>> m_lines;
    QList<Item> m_line;
};
