#pragma once
// Readings of a made-up station for filling a record: four channels at a
// fixed interval (pH, conductivity switching between µS and mS, resistivity
// switching between kOhm and MOhm, flow with its volume counters), slow daily
// swings with noise, and now and then a silent instrument. Deterministic for
// a seed. Used by `trelvan-cli records --generate`, the benchmarks and tests.

#include <cstdint>
#include <random>
#include <vector>

#include "core/reading.h"

namespace trelvan {

class ReadingGenerator {
 public:
  ReadingGenerator(std::int64_t startMs, int intervalMs = 1000, std::uint32_t seed = 1);

  // The four readings of the next pass.
  std::vector<Reading> NextPass();

  std::int64_t nextTimeMs() const { return timeMs_; }

 private:
  Reading Make(int channel, double phase);

  std::int64_t timeMs_;
  int intervalMs_;
  std::int64_t pass_ = 0;
  double totalVolume_ = 12000;
  std::mt19937 random_;
  std::normal_distribution<double> noise_{0.0, 1.0};
  std::uniform_real_distribution<double> uniform_{0.0, 1.0};
};

} // namespace trelvan
