#include "CapturePrinter.h"

#include <cmath>

QStringList CapturePrinter::Document::Text() const
{
    QStringList text;
    for (const auto &line : lines) {
        QString row;
        for (const auto &item : line) {
            // An item never starts left of where the previous one ended.
            if (row.size() < item.column - 1)
                row += QString(item.column - 1 - row.size(), QLatin1Char(' '));
            row += item.text;
        }
        text << row;
    }
    return text;
}

double CapturePrinter::PrintAt(double column, const QString &text)
{
    documentOpen = true;
    const int whole = static_cast<int>(std::lround(column));
    Q_ASSERT(whole == column);
    m_line.append(Item{whole, text});
    return column + text.size();
}

void CapturePrinter::NewLine()
{
    documentOpen = true;
    m_lines.append(m_line);
    m_line.clear();
}

PrintResult CapturePrinter::EndDoc(const QString &jobName)
{
    if (!m_line.isEmpty())
        NewLine();
    documents.append(Document{jobName, m_lines});
    m_lines.clear();
    documentOpen = false;
    return result;
}
