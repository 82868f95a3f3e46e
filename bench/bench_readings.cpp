#include "readings/Calibration.h"
#include "readings/NumberText.h"
#include "readings/Uptime.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kVoltageCodes = 32768;

// x for every raw voltage code, so that each run sweeps the whole curve.
const std::vector<double>& AllX() {
    static const std::vector<double> xs = [] {
        std::vector<double> values(kVoltageCodes);
        for (int w = 0; w < kVoltageCodes; ++w) {
            values[w] = std::sqrt(static_cast<double>(w));
        }
        return values;
    }();
    return xs;
}

void BM_CalibratedVoltage(benchmark::State& state) {
    const std::vector<double>& xs = AllX();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalibratedVoltage(xs[i]));
        i = (i + 1) % xs.size();
    }
}
BENCHMARK(BM_CalibratedVoltage);

// The text path of one reading: the number text, then the "###.##" pattern.
void BM_NumberTextAndPattern(benchmark::State& state) {
    const std::string separator = ".";
    std::vector<double> volts;
    for (const double x : AllX()) {
        volts.push_back(*CalibratedVoltage(x));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const auto text = NumberText(volts[i], separator);
        benchmark::DoNotOptimize(FormatVoltagePattern(*text, separator));
        i = (i + 1) % volts.size();
    }
}
BENCHMARK(BM_NumberTextAndPattern);

void BM_UptimeText(benchmark::State& state) {
    const std::string systemName = "Linux";
    std::uint32_t ticks = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(UptimeText(ticks, systemName));
        ticks += 61001; // walks through every hour and minute combination
    }
}
BENCHMARK(BM_UptimeText);

} // namespace
