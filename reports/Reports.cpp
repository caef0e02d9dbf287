#include "Reports.h"

#include "Households.h"
#include "ReportWriter.h"
#include "Statistics.h"

namespace {

QString IdText(const HouseholdRecord &record)
{
    return QString::fromStdString(record.ID);
}

} // namespace

std::optional<PrintResult> PrintDataListing(Printer &printer, QWidget *parent)
{
    if (!NoDataGuard(parent))
        return std::nullopt;
    ReportWriter writer(printer);
    writer.ReportHeading(QStringLiteral("Listing of Data Entered"));
    writer.PrintStatement({Text({}, Separator::Zone), Text(QStringLiteral(" ID Number"), Separator::Zone),
                           Text(QStringLiteral("Income"), Separator::Zone),
                           Text(QStringLiteral("Number in House"), Separator::EndOfLine)});
    writer.PrintBlankLine();
    for (int i = 0; i < HouseholdCount; ++i) {
        const auto &record = Households[i];
        writer.PrintStatement({Text({}, Separator::Zone), Text(IdText(record), Separator::Zone),
                               Number(record.Income, Separator::Zone),
                               Number(record.NumPersons, Separator::EndOfLine)});
    }
    return writer.EndDoc();
}

std::optional<PrintResult> PrintAboveAverage(Printer &printer, QWidget *parent)
{
    if (!NoDataGuard(parent))
        return std::nullopt;
    const Currency average = AverageIncome();
    ReportWriter writer(printer);
    writer.ReportHeading(QStringLiteral("Households Exceeding Average Income"));
    writer.PrintStatement({Text({}, Separator::Zone), Text(QStringLiteral(" ID Number"), Separator::Zone),
                           Text(QStringLiteral("Income"), Separator::EndOfLine)});
    writer.PrintBlankLine();
    for (int i = 0; i < HouseholdCount; ++i) {
        const auto &record = Households[i];
        if (IsAboveAverage(record, average)) {
            writer.PrintStatement({Text({}, Separator::Zone), Text(IdText(record), Separator::Zone),
                                   Number(record.Income, Separator::EndOfLine)});
        }
    }
    return writer.EndDoc();
}

std::optional<PrintResult> PrintPovertySummary(Printer &printer, QWidget *parent)
{
    if (!NoDataGuard(parent))
        return std::nullopt;
    ReportWriter writer(printer);
    writer.ReportHeading(QStringLiteral("Poverty Level Summary"));
    const Currency fraction = BelowPovertyFraction();
    writer.PrintStatement(
        {Text({}, Separator::Zone),
         Text(QStringLiteral("The Percentage of households having income below poverty level  "), Separator::Join)});
    writer.PrintStatement({Text(FormatPercent(fraction), Separator::EndOfLine)});
    return writer.EndDoc();
}
