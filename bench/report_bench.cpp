// Targets: the longest report (41 households) laid out into its PDF in well
// under a tenth of a second, so a report never keeps the operator waiting
// before the spooler has it; and the same listing with 20,000-character IDs,
// each carried over some 230 rows, in under 1 s.

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
    const auto idLength = static_cast<std::size_t>(state.range(0));
    HouseholdCount = 0;
    TotalIncome = Currency{};
    for (int i = 0; i < MaxHouseholds; ++i) {
        std::string id = "Household " + std::to_string(1000 + i);
        for (char digit = '0'; id.size() < idLength; digit = digit == '9' ? '0' : digit + 1)
            id += digit;
        if (AddHousehold(id, std::to_string(1234.5 * i), std::to_string(i % 9)) != AddResult::Added)
            state.SkipWithError("a household was refused");
    }
    QTemporaryDir dir;
    PagePrinter printer(dir.filePath(QStringLiteral("listing.pdf")));
    for (auto _ : state) {
        const auto result = PrintDataListing(printer, nullptr);
        if (!result || result->status != PrintResult::Status::Printed)
            state.SkipWithError("the listing was not written");
    }
}
BENCHMARK(BM_DataListingToPdf)->ArgName("idLength")->Arg(0)->Arg(20000)->Unit(benchmark::kMillisecond);

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
