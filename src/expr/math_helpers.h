// Numeric helpers behind the built-ins the standard math library lacks, and
// the factorial shared with the "!" operator. Pure functions on doubles: none
// reports an error; arguments outside a formula's domain give the NaN or
// infinity that IEEE arithmetic gives. Each formula is evaluated in exactly
// the order written, because hosts compare result digits with stored ones.
#pragma once

#include <cstdint>

namespace zmath {

inline constexpr double pi = 3.141592653589793;

// 1, 0 or -1; a NaN gives -1 and -0.0 gives 0.
double sgn(double x) noexcept;

double sec(double x) noexcept;  // 1 / cos(x)
double csc(double x) noexcept;  // 1 / sin(x)
double cot(double x) noexcept;  // 1 / tan(x)

// The engine's own inverse secant, cosecant and cotangent. They are not the
// principal branches (asec(2) is about 0.857, acot(1) is 3*pi/4), but stored
// algorithms depend on their values, so they keep these formulas.
double asec(double x) noexcept;  // atan(x / sqrt(x*x - 1)) + sgn(sgn(x) - 1) * pi/2
double acsc(double x) noexcept;  // atan(x / sqrt(x*x - 1)) + (sgn(x) - 1) * pi/2
double acot(double x) noexcept;  // atan(x) + pi/2

double csch(double x) noexcept;  // 1 / sinh(x)
double sech(double x) noexcept;  // 1 / cosh(x)
double coth(double x) noexcept;  // 1 / tanh(x)

// Inverse hyperbolics through logarithms (not the library's asinh & co.).
double asinh(double x) noexcept;
double acosh(double x) noexcept;
double atanh(double x) noexcept;
double acsch(double x) noexcept;
double asech(double x) noexcept;
double acoth(double x) noexcept;

// ln(a) / ln(b): the logarithm of a to the base b.
double log_base(double a, double b) noexcept;

// x rounded half away from zero to a multiple of `step`; a step of 0 rounds
// to the nearest integer. A negative step still yields a multiple of it.
double round_multiple(double x, double step) noexcept;

// n! as a double: 1 for n <= 0, +inf above 170.
double factorial(int32_t n) noexcept;

}  // namespace zmath
