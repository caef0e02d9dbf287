#include "ReportWriter.h"

#include "Households.h"

#include <QLocale>
#include <QMessageBox>

#include <charconv>
#include <cmath>

QString FormatNumber(double value)
{
    if (value == 0)
        value = 0; // -0 prints like 0
    char digits[32];
    // %.15G without the C library's locale: a point and an upper-case E.
    const auto result = std::to_chars(std::begin(digits), std::end(digits), std::fabs(value),
                                      std::chars_format::general, 15);
    QString number = QString::fromLatin1(digits, result.ptr - digits).toUpper();
    number.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return (value < 0 ? QLatin1Char('-') : QLatin1Char(' ')) + number + QLatin1Char(' ');
}

QString FormatPercent(Currency fraction)
{
    // Ten-thousandths of a whole are hundredths of a percent: divide by ten
    // for tenths of a percent, rounding the half away from zero.
    const std::int64_t t = fraction.tenThousandths;
    const bool negative = t < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(t) : static_cast<std::uint64_t>(t);
    const std::uint64_t tenths = (magnitude + 5) / 10;
    const QLocale locale;
    return (negative ? locale.negativeSign() : QString()) + QString::number(tenths / 10) + locale.decimalPoint()
           + QString::number(tenths % 10) + locale.percent();
}

PrintItem Text(const QString &text, Separator separator)
{
    return PrintItem{text, separator};
}

PrintItem Number(double value, Separator separator)
{
    return PrintItem{FormatNumber(value), separator};
}

ReportWriter::ReportWriter(Printer &printer)
    : m_printer(printer)
{
}

void ReportWriter::PrintStatement(const std::vector<PrintItem> &items)
{
    for (const auto &item : items) {
        if (!item.text.isEmpty()) {
            m_column = m_printer.PrintAt(m_column, item.text);
        }
        switch (item.separator) {
        case Separator::Zone:
            // Zones start at columns 1, 15, 29, ...; always move strictly right.
            m_column = (std::floor((m_column - 1) / ZoneWidth) + 1) * ZoneWidth + 1;
            break;
        case Separator::Join:
            break;
        case Separator::EndOfLine:
            m_printer.NewLine();
            m_column = 1;
            break;
        }
    }
}

void ReportWriter::PrintBlankLine()
{
    PrintStatement({Text({}, Separator::EndOfLine)});
}

void ReportWriter::ReportHeading(const QString &title)
{
    m_jobName = title;
    PrintBlankLine();
    PrintBlankLine();
    PrintStatement({Text({}, Separator::Zone), Text({}, Separator::Zone), Text(title, Separator::EndOfLine)});
    PrintBlankLine();
}

PrintResult ReportWriter::EndDoc()
{
    m_column = 1;
    return m_printer.EndDoc(m_jobName);
}

bool NoDataGuard(QWidget *parent)
{
    if (HouseholdCount > 0)
        return true;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), QStringLiteral("No data to summarize"),
                    QMessageBox::Ok, parent);
    box.exec();
    return false;
}
