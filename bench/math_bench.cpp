// The engine's own math functions beside the C library's, over the same
// arguments in one run: BM_Math/NAME/engine against BM_Math/NAME/libc. The
// arguments are what formulas in algorithms take (angles of a few turns,
// logarithms of everyday magnitudes, powers with small exponents), 4,096 of
// them per function, fixed by a seed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/portable_math.h"

namespace {

struct arguments {
  std::vector<double> x, y;
};

arguments make_arguments(double low, double high, double y_low = 0, double y_high = 0) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> first(low, high), second(y_low, y_high);
  arguments a;
  for (int i = 0; i < 4096; ++i) {
    a.x.push_back(first(random));
    double y = second(random);
    if (i % 4 == 0) y = std::round(y);  // whole exponents are common
    a.y.push_back(y);
  }
  return a;
}

void one_argument(benchmark::State& state, double (*f)(double), const arguments& a) {
  for (auto _ : state) {
    double sum = 0;
    for (const double x : a.x) sum += f(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(a.x.size()));
}

void two_arguments(benchmark::State& state, double (*f)(double, double), const arguments& a) {
  for (auto _ : state) {
    double sum = 0;
    for (size_t i = 0; i < a.x.size(); ++i) sum += f(a.x[i], a.y[i]);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(a.x.size()));
}

// The C library's, through functions of the same shape as the engine's.
double c_exp(double x) { return std::exp(x); }
double c_log(double x) { return std::log(x); }
double c_pow(double x, double y) { return std::pow(x, y); }
double c_sin(double x) { return std::sin(x); }
double c_cos(double x) { return std::cos(x); }
double c_tan(double x) { return std::tan(x); }
double c_asin(double x) { return std::asin(x); }
double c_acos(double x) { return std::acos(x); }
double c_atan(double x) { return std::atan(x); }

double e_exp(double x) { return pmath::exp(x); }
double e_log(double x) { return pmath::log(x); }
double e_pow(double x, double y) { return pmath::pow(x, y); }
double e_sin(double x) { return pmath::sin(x); }
double e_cos(double x) { return pmath::cos(x); }
double e_tan(double x) { return pmath::tan(x); }
double e_asin(double x) { return pmath::asin(x); }
double e_acos(double x) { return pmath::acos(x); }
double e_atan(double x) { return pmath::atan(x); }

struct one_function {
  const char* name;
  double (*engine)(double);
  double (*library)(double);
  arguments args;
};

// Both sides are called through a pointer, so neither is inlined.
const int kRegistered = [] {
  static const one_function functions[] = {
      {"exp", e_exp, c_exp, make_arguments(-20, 20)},
      {"log", e_log, c_log, make_arguments(1e-3, 1e4)},
      {"sin", e_sin, c_sin, make_arguments(-10, 10)},
      {"cos", e_cos, c_cos, make_arguments(-10, 10)},
      {"tan", e_tan, c_tan, make_arguments(-10, 10)},
      {"asin", e_asin, c_asin, make_arguments(-1, 1)},
      {"acos", e_acos, c_acos, make_arguments(-1, 1)},
      {"atan", e_atan, c_atan, make_arguments(-20, 20)},
  };
  static const arguments pow_arguments = make_arguments(0, 100, -6, 6);
  for (const one_function& f : functions) {
    benchmark::RegisterBenchmark((std::string("BM_Math/") + f.name + "/engine").c_str(),
                                 one_argument, f.engine, f.args);
    benchmark::RegisterBenchmark((std::string("BM_Math/") + f.name + "/libc").c_str(), one_argument,
                                 f.library, f.args);
  }
  benchmark::RegisterBenchmark("BM_Math/pow/engine", two_arguments, e_pow, pow_arguments);
  benchmark::RegisterBenchmark("BM_Math/pow/libc", two_arguments, c_pow, pow_arguments);
  return 0;
}();

}  // namespace
