// Targets: reading one typed field well under a microsecond; storing a full
// survey of 41 households and computing every statistic over it in
// microseconds, so Next and the reports never wait on the arithmetic.

#include "Households.h"
#include "ReadNumber.h"
#include "Statistics.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void ResetSurvey()
{
    HouseholdCount = 0;
    TotalIncome = Currency{};
}

void BM_ReadNumber(benchmark::State &state)
{
    const char *texts[] = {"6000", "  12 000.50  ", "1.5E2", "1,000", "three", "-0.0001e-3"};
    for (auto _ : state) {
        for (const char *text : texts)
            benchmark::DoNotOptimize(ReadNumber(text));
    }
    state.SetItemsProcessed(state.iterations() * std::size(texts));
}
BENCHMARK(BM_ReadNumber);

void BM_FillSurvey(benchmark::State &state)
{
    const std::string ids[] = {"1001", "1002", "  7 ", ""};
    for (auto _ : state) {
        ResetSurvey();
        for (int i = 0; i < MaxHouseholds; ++i)
            benchmark::DoNotOptimize(AddHousehold(ids[i % 4], "12345.67", "4"));
    }
    state.SetItemsProcessed(state.iterations() * MaxHouseholds);
}
BENCHMARK(BM_FillSurvey);

void BM_StatisticsOverFullSurvey(benchmark::State &state)
{
    ResetSurvey();
    for (int i = 0; i < MaxHouseholds; ++i)
        AddHousehold(std::to_string(i), std::to_string(1000 * i), std::to_string(i % 7));
    for (auto _ : state) {
        const Currency average = AverageIncome();
        int above = 0;
        for (int i = 0; i < HouseholdCount; ++i)
            above += IsAboveAverage(Households[i], average);
        benchmark::DoNotOptimize(above);
        benchmark::DoNotOptimize(BelowPovertyFraction());
    }
}
BENCHMARK(BM_StatisticsOverFullSurvey);

} // namespace
