// Target: the longest report (41 households) laid out into its PDF in well
// under a tenth of a second, so a report never keeps the operator waiting
// before the spooler has it.

#include "Households.h"
#include "PagePrinter.h"
#include "Reports.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_DataListingToPdf(benchmark::State &state)
{
    HouseholdCount = 0;
    TotalIncome = Currency{};
    for (int i = 0; i < MaxHouseholds; ++i)
        AddHousehold("Household " + std::to_string(1000 + i), std::to_string(1234.5 * i), std::to_string(i % 9));
    QTemporaryDir dir;
    PagePrinter printer(dir.filePath(QStringLiteral("listing.pdf")));
    for (auto _ : state) {
        const auto result = PrintDataListing(printer, nullptr);
        if (!result || result->status != PrintResult::Status::Printed)
            state.SkipWithError("the listing was not written");
    }
}
BENCHMARK(BM_DataListingToPdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
