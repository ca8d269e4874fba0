// The engine's own math functions, for builds whose C runtime would give
// other results than the Linux build's.
//
// The Windows DLL must answer byte for byte as the Linux library does. Its
// compiler's math library works on the x87 unit (sin(pi) taken with a
// 66-bit pi, fmod of large values inexact, pow(10, 23) one bit off), and
// acos, asin, atan, tan, log10 and the hyperbolics come from the system's
// msvcrt.dll, whose results vary with the Windows version. The functions
// below depend on nothing but IEEE double arithmetic:
//
// - exp, log, pow, sin, cos, tan, asin, acos and atan are computed in
//   double-double arithmetic (about 100 bits) and rounded once, so they
//   give the correctly rounded result except in extremely close cases.
//   glibc's own functions are correctly rounded in all but about one case
//   in a thousand, and those cases are where the two builds can still
//   differ.
// - expm1, sinh, cosh, tanh and log10 follow the classic formulas that
//   glibc uses (built on expm1, exp and log), step for step, so they agree
//   with glibc wherever exp and log do.
// - fmod and the powers of ten are exact.
//
// math_calls.h chooses between these and the C library's.
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
