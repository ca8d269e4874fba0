// Throughput of the engine's main paths: building environments under
// conditions, solving requests, translating and writing numbers.
#include <benchmark/benchmark.h>

#include <string>

#include "base/number_text.h"
#include "expr/translator.h"
#include "zekalg/zekalg.h"

namespace {

const char kSumOfTwo[] = "r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_sum|a+b|0\n";
const char kTriangle[] =
    "r_a|3|40|1|0\nr_b|3|40|1|0\nc_order|a<b\nq_c|sqrt(a^2+b^2)|0\n"
    "c_whole|c = int(c)\nq_area|a*b/2|1|0|1\n";

void create_and_solve(benchmark::State& state, const char* algorithm, const char* request) {
  char buffer[256];
  uint32_t seed = 1;
  for (auto _ : state) {
    zekalg_seed_environment(static_cast<int32_t>(seed++ * 2654435761u));
    int32_t length = sizeof buffer;
    const int32_t id = zekalg_create_environment(0, algorithm, buffer, &length);
    length = sizeof buffer;
    zekalg_solve_var(id, request, buffer, &length);
    benchmark::DoNotOptimize(buffer);
    zekalg_kill_environment(id);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CreateAndSolveSumOfTwo(benchmark::State& state) {
  create_and_solve(state, kSumOfTwo, "sum");
}
BENCHMARK(BM_CreateAndSolveSumOfTwo);

// Rejection sampling: most attempts fail the whole-number condition.
void BM_CreateAndSolveTriangle(benchmark::State& state) {
  create_and_solve(state, kTriangle, "area");
}
BENCHMARK(BM_CreateAndSolveTriangle);

void BM_SolveFormula(benchmark::State& state) {
  char buffer[256];
  int32_t length = sizeof buffer;
  const int32_t id = zekalg_create_environment(0, "k_x|3\nk_y|4.5", buffer, &length);
  for (auto _ : state) {
    length = sizeof buffer;
    zekalg_solve_var(id, "if(x > 1, max(x, y) * 2 + sqrt(16), 0) mod 7", buffer, &length);
    benchmark::DoNotOptimize(buffer);
  }
  zekalg_kill_environment(id);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SolveFormula);

void BM_TranslateFormula(benchmark::State& state) {
  std::string formula;
  for (int i = 0; i < state.range(0); ++i) formula += "a*2^b - c mod 3 + ";
  formula += "1";
  for (auto _ : state) {
    alg_string text(formula.c_str());
    translate_formula(text);
    benchmark::DoNotOptimize(text);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TranslateFormula)->Range(1, 256)->Complexity();

// Long requests: the time per operator stays about the same from 1,000 to
// 100,000 operators (the ns per item of each row), for each kind of chain.
void solve_long(benchmark::State& state, const char* first, const char* piece) {
  std::string request = first;
  for (int64_t i = 0; i < state.range(0); ++i) request += piece;
  char buffer[64];
  int32_t length = sizeof buffer;
  const int32_t id = zekalg_create_environment(0, "k_x|1", buffer, &length);
  for (auto _ : state) {
    length = sizeof buffer;
    const int32_t status = zekalg_solve_var(id, request.c_str(), buffer, &length);
    if (status != 0) state.SkipWithError(buffer);
  }
  zekalg_kill_environment(id);
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void BM_LongSum(benchmark::State& state) { solve_long(state, "x", "+1"); }
BENCHMARK(BM_LongSum)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

void BM_LongAnd(benchmark::State& state) { solve_long(state, "x", " and 1"); }
BENCHMARK(BM_LongAnd)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

void BM_LongPower(benchmark::State& state) { solve_long(state, "x", "^1"); }
BENCHMARK(BM_LongPower)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

void BM_LongFactorial(benchmark::State& state) { solve_long(state, "x", "!"); }
BENCHMARK(BM_LongFactorial)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

void BM_LongJoin(benchmark::State& state) { solve_long(state, "\"a\"", "&\"a\""); }
BENCHMARK(BM_LongJoin)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

void BM_LongGroups(benchmark::State& state) { solve_long(state, "x", "+(1)"); }
BENCHMARK(BM_LongGroups)->RangeMultiplier(10)->Range(1000, 100000)->Complexity();

void BM_RealToText(benchmark::State& state) {
  double x = 0.1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(real_to_text(x, -1, false, false));
    x += 1.37;
  }
}
BENCHMARK(BM_RealToText);

}  // namespace
