#include "expr/builtins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "base/math_calls.h"
#include "base/number_cast.h"
#include "base/random_generator.h"
#include "expr/builtin_table.h"
#include "expr/math_helpers.h"
#include "expr/text_builtins.h"
#include "value/checks.h"

namespace {

using builtin_table::args_t;
using builtin_table::entry;

double x_of(const args_t& args) { return args[1].as_real(); }

using unary_t = double (*)(double);

// Wraps a one-argument real function as a handler returning a real.
template <unary_t F>
alg_value real_of_x(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_real(F(x_of(args)));
}

// max and min: ties keep the earlier argument, and each neighbour pair must
// match in kind before its right-hand member takes part in the comparison.
template <bool (*Better)(const alg_value&, const alg_value&)>
alg_value pick_extreme(const args_t& args, uint32_t n, const alg_string& name) {
  uint32_t best = 1;
  for (uint32_t j = 2; j <= n; ++j) {
    check_match(args[j - 1], args[j], name);
    if (Better(args[j], args[best])) best = j;
  }
  return args[best];
}

// Every argument is matched against the last one, even after a duplicate
// has already decided the result, so a kind mismatch anywhere is reported.
alg_value run_unique(const args_t& args, uint32_t n, const alg_string& name) {
  int32_t result = 1;
  for (uint32_t o = 1; o < n; ++o) {
    check_match(args[o], args[n], name);
    for (uint32_t p = o + 1; p <= n; ++p) {
      if (values_equal(args[o], args[p])) {
        result = 0;
        break;
      }
    }
  }
  return alg_value::of_integer(result);
}

double deg(double x) { return x * 180.0 / zmath::pi; }
double rad(double x) { return x * zmath::pi * 0.005555555555555556; }
double inv(double x) { return 1.0 / x; }
double abs_of(double x) { return std::fabs(x); }
double sqrt_of(double x) { return std::sqrt(x); }
double sin_of(double x) { return mcall::sin(x); }
double cos_of(double x) { return mcall::cos(x); }
double tan_of(double x) { return mcall::tan(x); }
double asin_of(double x) { return mcall::asin(x); }
double acos_of(double x) { return mcall::acos(x); }
double atan_of(double x) { return mcall::atan(x); }
double sinh_of(double x) { return mcall::sinh(x); }
double cosh_of(double x) { return mcall::cosh(x); }
double tanh_of(double x) { return mcall::tanh(x); }
double exp_of(double x) { return mcall::exp(x); }
double ln_of(double x) { return mcall::log(x); }
double log10_of(double x) { return mcall::log10(x); }
double ceil_of(double x) { return std::ceil(x); }
double floor_of(double x) { return std::floor(x); }

alg_value run_pow(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_real(mcall::pow(args[1].as_real(), args[2].as_real()));
}

alg_value run_log_base(const args_t& args, uint32_t, const alg_string&) {
  return alg_value::of_real(zmath::log_base(args[1].as_real(), args[2].as_real()));
}

alg_value run_round(const args_t& args, uint32_t n, const alg_string& name) {
  if (n > 2) check_count(n, 1, name);
  for (uint32_t i = 1; i <= n; ++i) check_kind(args[i], "d", name);
  const double step = n == 2 ? args[2].as_real() : 0.0;
  return alg_value::of_real(zmath::round_multiple(x_of(args), step));
}

// n - k taken exactly: the difference of two 32-bit integers may leave
// their range, and a difference beyond it has the factorial of the nearest
// representable one (1 below zero, +inf above 170).
double factorial_of_difference(int32_t n, int32_t k) {
  const int64_t d = static_cast<int64_t>(n) - k;
  return zmath::factorial(static_cast<int32_t>(std::clamp<int64_t>(d, INT32_MIN, INT32_MAX)));
}

alg_value run_combin(const args_t& args, uint32_t, const alg_string&) {
  const int32_t n = args[1].as_integer();
  const int32_t k = args[2].as_integer();
  return alg_value::of_real(zmath::factorial(n) /
                            (zmath::factorial(k) * factorial_of_difference(n, k)));
}

alg_value run_perm(const args_t& args, uint32_t, const alg_string&) {
  const int32_t n = args[1].as_integer();
  const int32_t k = args[2].as_integer();
  return alg_value::of_real(zmath::factorial(n) / factorial_of_difference(n, k));
}

// In floating point, so that b - a + 1 cannot overflow; with a > b the span
// is negative and the draw lands in b + 2..a.
alg_value run_rand(const args_t& args, uint32_t, const alg_string&) {
  const double a = args[1].as_integer();
  const double b = args[2].as_integer();
  const double u = random_draw() / 32768.0;
  return alg_value::of_integer(truncate_to_int32(a + std::trunc(u * (b - a + 1.0))));
}

// The low 32 bits of x cut toward zero, taken with fmod so that values
// beyond the 32-bit range wrap instead of overflowing. NaN and the
// infinities have no low bits and give 0.
alg_value run_int(const args_t& args, uint32_t, const alg_string&) {
  constexpr double two_32 = 4294967296.0;
  const double t = std::trunc(x_of(args));
  if (!std::isfinite(t)) return alg_value::of_integer(0);
  double low = mcall::fmod(t, two_32);
  if (low < 0) low += two_32;
  return alg_value::of_integer(static_cast<int32_t>(static_cast<uint32_t>(low)));
}

constexpr auto kBuiltins = std::to_array<entry>({
    {"abs", 1, "d", real_of_x<abs_of>},
    {"acos", 1, "d", real_of_x<acos_of>},
    {"acosh", 1, "d", real_of_x<zmath::acosh>},
    {"acot", 1, "d", real_of_x<zmath::acot>},
    {"acoth", 1, "d", real_of_x<zmath::acoth>},
    {"acsc", 1, "d", real_of_x<zmath::acsc>},
    {"acsch", 1, "d", real_of_x<zmath::acsch>},
    {"asec", 1, "d", real_of_x<zmath::asec>},
    {"asech", 1, "d", real_of_x<zmath::asech>},
    {"asin", 1, "d", real_of_x<asin_of>},
    {"asinh", 1, "d", real_of_x<zmath::asinh>},
    {"atan", 1, "d", real_of_x<atan_of>},
    {"atanh", 1, "d", real_of_x<zmath::atanh>},
    {"ceil", 1, "d", real_of_x<ceil_of>},
    {"ceiling", 1, "d", real_of_x<ceil_of>},
    {"combin", 2, "ll", run_combin},
    {"cos", 1, "d", real_of_x<cos_of>},
    {"cosh", 1, "d", real_of_x<cosh_of>},
    {"cot", 1, "d", real_of_x<zmath::cot>},
    {"coth", 1, "d", real_of_x<zmath::coth>},
    {"csc", 1, "d", real_of_x<zmath::csc>},
    {"csch", 1, "d", real_of_x<zmath::csch>},
    {"deg", 1, "d", real_of_x<deg>},
    {"exp", 1, "d", real_of_x<exp_of>},
    {"floor", 1, "d", real_of_x<floor_of>},
    {"int", 1, "d", run_int},
    {"inv", 1, "d", real_of_x<inv>},
    {"ln", 1, "d", real_of_x<ln_of>},
    {"log", 1, "d", real_of_x<ln_of>},
    {"log10", 1, "d", real_of_x<log10_of>},
    {"logb", 2, "dd", run_log_base},
    {"logn", 2, "dd", run_log_base},
    {"max", 0, "", pick_extreme<values_greater>, 1, 0},
    {"min", 0, "", pick_extreme<values_less>, 1, 0},
    {"perm", 2, "ll", run_perm},
    {"pow", 2, "dd", run_pow},
    {"rad", 1, "d", real_of_x<rad>},
    {"rand", 2, "ll", run_rand, 0, 0, true},
    {"round", 0, "", run_round, 1, 2},
    {"sec", 1, "d", real_of_x<zmath::sec>},
    {"sech", 1, "d", real_of_x<zmath::sech>},
    {"sgn", 1, "d", real_of_x<zmath::sgn>},
    {"sin", 1, "d", real_of_x<sin_of>},
    {"sinh", 1, "d", real_of_x<sinh_of>},
    {"sqr", 1, "d", real_of_x<sqrt_of>},
    {"sqrt", 1, "d", real_of_x<sqrt_of>},
    {"tan", 1, "d", real_of_x<tan_of>},
    {"tanh", 1, "d", real_of_x<tanh_of>},
    {"unique", 0, "", run_unique, 1, 0},
});

static_assert(builtin_table::well_formed(kBuiltins),
              "the table is searched by bisection: sorted, one kind letter per argument");

}  // namespace

bool builtin_arity(std::string_view name, uint32_t& least, uint32_t& most) {
  return builtin_table::arity(kBuiltins, name, least, most) ||
         text_builtin_arity(name, least, most);
}

const builtin_table::entry* find_builtin(std::string_view name) {
  const entry* e = builtin_table::find(kBuiltins, name);
  return e != nullptr ? e : find_text_builtin(name);
}

void run_builtin(const builtin_table::entry& e, const alg_string& name, const call_args& args,
                 uint32_t n, alg_value& result) {
  builtin_table::run(&e, name, args, n, result);
}

bool call_builtin(const alg_string& name, const call_args& args, uint32_t n, alg_value& result) {
  return builtin_table::dispatch(kBuiltins, name, args, n, result) ||
         call_text_builtin(name, args, n, result);
}
