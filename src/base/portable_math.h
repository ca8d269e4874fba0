// The engine's own math functions: the reference for every build's results.
//
// A stored seed must give the same digits on any machine. C libraries do not
// promise that: glibc's functions are not correctly rounded and glibc picks
// FMA or plain versions of them by processor, and the Windows runtimes work
// on the x87 unit or vary with the Windows version. The functions below
// depend on nothing but IEEE double arithmetic (each +, -, *, / and sqrt
// rounded once, no fused multiply-add):
//
// - exp, log, pow, sin, cos, tan, asin, acos and atan are correctly rounded
//   (to nearest): a fast path whose error bound proves the rounding, else
//   double-double arithmetic (about 100 bits) rounded once. Exact midpoints
//   of pow are found exactly. pow(10, 23) and pow(10, 210) alone keep the
//   C library's value, one ulp above, for the number reader. The tests and
//   scripts/check-math.sh check them against GNU MPFR.
// - expm1, sinh, cosh, tanh and log10 follow the classic formulas that
//   glibc uses (built on expm1, exp and log), step for step; they are within
//   about two ulps, not correctly rounded.
// - fmod and the powers of ten are exact.
//
// math_calls.h routes the engine's calls here (or, when a build asks for it,
// to the C library's).
#pragma once

namespace pmath {

double exp(double x) noexcept;
double expm1(double x) noexcept;
double log(double x) noexcept;
double log10(double x) noexcept;
double pow(double x, double y) noexcept;
double sin(double x) noexcept;
double cos(double x) noexcept;
double tan(double x) noexcept;
double asin(double x) noexcept;
double acos(double x) noexcept;
double atan(double x) noexcept;
double sinh(double x) noexcept;
double cosh(double x) noexcept;
double tanh(double x) noexcept;
double fmod(double x, double y) noexcept;

}  // namespace pmath
