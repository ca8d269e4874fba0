// One formula solved in a small environment of constants (the translation
// is cached after the first solve), side by side with a compiled evaluator
// of arithmetic formulas, muparser, when it is installed: parsing and
// evaluating each time, and evaluating its compiled form. Every ratio in
// the report comes from one run on one machine.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "zekalg/zekalg.h"

#ifdef ZEKALG_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

struct Formula {
  const char* name;
  const char* text;  // the same text in both languages
};

const Formula kFormulas[] = {
    {"name", "a"},
    {"sum", "a+b"},
    {"hypotenuse", "sqrt(a^2+b^2)"},
    {"constant", "3+4*2^2"},
    {"trigonometry", "(a^2/sin(2*pi/b))-a/2"},
    {"mixed", "a*b*c/(a+b+c)-a/b+c"},
};

const char kConstants[] = "k_a|3\nk_b|4\nk_c|5\n";
constexpr double kA = 3;
constexpr double kB = 4;
constexpr double kC = 5;

void BM_Formula(benchmark::State& state, const Formula& formula) {
  char buffer[256];
  int32_t length = sizeof buffer;
  const int32_t id = zekalg_create_environment(0, kConstants, buffer, &length);
  for (auto _ : state) {
    length = sizeof buffer;
    zekalg_solve_var(id, formula.text, buffer, &length);
    benchmark::DoNotOptimize(buffer);
  }
  zekalg_kill_environment(id);
  state.SetItemsProcessed(state.iterations());
}

#ifdef ZEKALG_HAVE_MUPARSER
struct MuParser {
  double a = kA, b = kB, c = kC;
  mu::Parser parser;
  explicit MuParser(const char* text) {
    parser.DefineVar("a", &a);
    parser.DefineVar("b", &b);
    parser.DefineVar("c", &c);
    parser.DefineConst("pi", 3.14159265358979323846);
    parser.SetExpr(text);
  }
};

void BM_MuParserParseAndEvaluate(benchmark::State& state, const Formula& formula) {
  MuParser p(formula.text);
  for (auto _ : state) {
    p.parser.SetExpr(formula.text);  // drops the compiled form
    benchmark::DoNotOptimize(p.parser.Eval());
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_MuParserCompiled(benchmark::State& state, const Formula& formula) {
  MuParser p(formula.text);
  benchmark::DoNotOptimize(p.parser.Eval());
  for (auto _ : state) benchmark::DoNotOptimize(p.parser.Eval());
  state.SetItemsProcessed(state.iterations());
}
#endif

[[maybe_unused]] const bool registered = [] {
  for (const Formula& f : kFormulas) {
    benchmark::RegisterBenchmark((std::string("BM_Formula/") + f.name).c_str(), BM_Formula, f);
#ifdef ZEKALG_HAVE_MUPARSER
    benchmark::RegisterBenchmark((std::string("BM_MuParserParseAndEvaluate/") + f.name).c_str(),
                                 BM_MuParserParseAndEvaluate, f);
    benchmark::RegisterBenchmark((std::string("BM_MuParserCompiled/") + f.name).c_str(),
                                 BM_MuParserCompiled, f);
#endif
  }
  return true;
}();

}  // namespace
