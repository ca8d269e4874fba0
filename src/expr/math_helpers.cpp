#include "expr/math_helpers.h"

#include <cmath>

#include "base/math_calls.h"

namespace zmath {

namespace {
constexpr double half_pi = pi * 0.5;
}

double sgn(double x) noexcept {
  if (x > 0) return 1.0;
  if (x == 0) return 0.0;
  return -1.0;
}

double sec(double x) noexcept { return 1.0 / mcall::cos(x); }
double csc(double x) noexcept { return 1.0 / mcall::sin(x); }
double cot(double x) noexcept { return 1.0 / mcall::tan(x); }

double asec(double x) noexcept {
  return mcall::atan(x / std::sqrt(x * x - 1.0)) + sgn(sgn(x) - 1.0) * half_pi;
}

double acsc(double x) noexcept {
  return mcall::atan(x / std::sqrt(x * x - 1.0)) + (sgn(x) - 1.0) * half_pi;
}

double acot(double x) noexcept { return mcall::atan(x) + half_pi; }

double csch(double x) noexcept { return 1.0 / mcall::sinh(x); }
double sech(double x) noexcept { return 1.0 / mcall::cosh(x); }
double coth(double x) noexcept { return 1.0 / mcall::tanh(x); }

double asinh(double x) noexcept { return mcall::log(x + std::sqrt(x * x + 1.0)); }
double acosh(double x) noexcept { return mcall::log(x + std::sqrt(x * x - 1.0)); }
double atanh(double x) noexcept { return mcall::log((x + 1.0) / (1.0 - x)) * 0.5; }

double acsch(double x) noexcept { return mcall::log((sgn(x) * std::sqrt(x * x + 1.0) + 1.0) / x); }

double asech(double x) noexcept { return mcall::log((std::sqrt(1.0 - x * x) + 1.0) / x); }
double acoth(double x) noexcept { return mcall::log((x + 1.0) / (x - 1.0)) * 0.5; }

double log_base(double a, double b) noexcept { return mcall::log(a) / mcall::log(b); }

double round_multiple(double x, double step) noexcept {
  const double q = step != 0 ? x / step : x;
  const double r = q < 0 ? std::ceil(q - 0.5) : std::floor(q + 0.5);
  return step != 0 ? r * step : r;
}

double factorial(int32_t n) noexcept {
  double result = 1.0;
  // A floating counter, so that k never overflows; once the product is
  // infinite further factors cannot change it, and stopping there keeps
  // factorial(INT32_MAX) from running two billion multiplications.
  for (double k = 1.0; k <= n && !std::isinf(result); k += 1.0) result *= k;
  return result;
}

}  // namespace zmath
