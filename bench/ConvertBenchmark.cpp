// Reading and writing one number, ours against what the C library offers for
// the same job, over texts that fields really hold: typed sizes and the
// results of conversions. Each benchmark runs once per text (the argument is
// its index, the label shows it), so a slow path shows up on its own row.

#include "SizeConversion.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const std::array<std::string, 10> Texts = {
    "17", // typed sizes
    "21.5",
    "41.99",             // 17 inches' diagonal
    "46.7625",           // 21.5 inches' long side
    "0.404858299595142", // 1 cm in inches
    "17.004048582996",   // 42 cm in inches
    "40.4858299595142",  // 100 cm in inches
    "2.47E-05",          // tiny and huge results in exponent form
    "6.6E+306",
    "1.79769313486232E+308",
};

// The doubles behind the texts, as the program holds them: computed where a
// conversion computes them, so they carry all their bits.
const std::array<double, 10> Values = {
    17.0,
    21.5,
    *quimbel::InchesToCentimetres(17.0).diagonal,
    *quimbel::InchesToCentimetres(21.5).longSide,
    *quimbel::CentimetresToInches(1.0),
    *quimbel::CentimetresToInches(42.0),
    *quimbel::CentimetresToInches(100.0),
    *quimbel::InchesToCentimetres(1e-5).diagonal,
    *quimbel::InchesToCentimetres(5e306).shortSide,
    1.7976931348623157e308,
};

void TextArguments(benchmark::internal::Benchmark* b) { b->DenseRange(0, Texts.size() - 1); }

void BM_Read_Ours(benchmark::State& state) {
    const std::string& text = Texts[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(quimbel::NumberFromText(text));
    }
}
BENCHMARK(BM_Read_Ours)->Apply(TextArguments);

void BM_Read_Strtod(benchmark::State& state) {
    const std::string& text = Texts[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(text);
    for (auto _ : state) {
        char* end = nullptr;
        benchmark::DoNotOptimize(std::strtod(text.c_str(), &end));
        benchmark::DoNotOptimize(end);
    }
}
BENCHMARK(BM_Read_Strtod)->Apply(TextArguments);

void BM_Write_Ours(benchmark::State& state) {
    double value = Values[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(quimbel::TextFromNumber(value));
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(quimbel::TextFromNumber(value));
    }
}
BENCHMARK(BM_Write_Ours)->Apply(TextArguments);

void BM_Write_Snprintf(benchmark::State& state) {
    double value = Values[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(quimbel::TextFromNumber(value));
    char buffer[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%.15G", value));
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Write_Snprintf)->Apply(TextArguments);

} // namespace
