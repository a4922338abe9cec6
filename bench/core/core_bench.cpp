// Cost of the live formatting: one picture pattern, and all sixteen label texts.
#include <benchmark/benchmark.h>

#include "core/catalogue.h"
#include "core/live_display.h"
#include "core/picture_format.h"

namespace {

void BM_FormatPicture(benchmark::State& state) {
  double v = 1.234;
  for (auto _ : state) {
    benchmark::DoNotOptimize(trelvan::FormatPicture(v, "#0.00 kOhm", ","));
    v += 0.001;
  }
}
BENCHMARK(BM_FormatPicture);

trelvan::SharedResults SampleResults() {
  trelvan::SharedResults r;
  r.Temperature = 21.5;
  r.ResistivityRange = 2; r.ResistivityRaw = 1234; r.SecondResistivityRaw = 1820;
  r.ConductivityRange = 3; r.ConductivityRaw = 4567;
  r.PhValue = 7.02; r.RedoxValue = 345; r.ChlorineValue = 0.5;
  r.OxygenUnit = 1; r.OxygenRaw = 845;
  r.FlowRange = 10; r.FlowRate = 1234;
  r.FlowVolume1 = {123456, "00123456", true};
  r.FlowVolume2 = {99999, "00099999", true};
  r.TurbidityPointCode = 2; r.TurbidityUnit = "NTU"; r.TurbidityRaw = 1234;
  r.MultiUnitPointCode = 3; r.MultiUnitUnit = "°C"; r.MultiUnitRaw = 250;
  r.OxidantPointCode = 1; r.OxidantUnit = "ppm"; r.OxidantRaw = 500;
  return r;
}

// Items are labels: the reported rate is labels per second.
void BM_AllSixteenLabels(benchmark::State& state) {
  const auto r = SampleResults();
  for (auto _ : state)
    for (int t = 0; t < trelvan::kMeasurementTypeCount; ++t)
      benchmark::DoNotOptimize(trelvan::BuildLiveLabelText(t, r, "."));
  state.SetItemsProcessed(state.iterations() * trelvan::kMeasurementTypeCount);
}
BENCHMARK(BM_AllSixteenLabels);

} // namespace

BENCHMARK_MAIN();
