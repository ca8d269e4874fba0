// The math functions whose results reach hosts, in one place. Every build
// calls the engine's own (portable_math.h), correctly rounded and computed
// with plain IEEE double operations, so a stored seed gives the same digits
// on any machine. A build configured with -DZEKALG_PORTABLE_MATH=OFF calls
// the C library's instead (not on Windows): their last digit can differ
// with the library's version and with the processor it runs on.
//
// sqrt, floor, ceil, trunc, modf and fabs are exact in IEEE arithmetic and
// are called directly.
#pragma once

#include <cmath>
#include <cstdint>

#include "base/portable_math.h"

namespace mcall {

#if defined(_WIN32) || defined(ZEKALG_PORTABLE_MATH)
namespace impl = pmath;
#else
namespace impl = std;
#endif

inline double exp(double x) noexcept { return impl::exp(x); }
inline double log(double x) noexcept { return impl::log(x); }
inline double log10(double x) noexcept { return impl::log10(x); }
// The square or cube of a whole number whose power is exact (below 2^52) is
// exactly what both pows give for it (checked for every such number), and
// is computed directly: these are most of the powers formulas take.
inline double pow(double x, double y) noexcept {
  if (y == 2.0 || y == 3.0) {
    const double limit = y == 2.0 ? 0x1p26 : 0x1p17;
    if (std::fabs(x) < limit && x == static_cast<double>(static_cast<int32_t>(x))) {
      return y == 2.0 ? x * x : x * x * x;
    }
  }
  return impl::pow(x, y);
}
inline double sin(double x) noexcept { return impl::sin(x); }
inline double cos(double x) noexcept { return impl::cos(x); }
inline double tan(double x) noexcept { return impl::tan(x); }
inline double asin(double x) noexcept { return impl::asin(x); }
inline double acos(double x) noexcept { return impl::acos(x); }
inline double atan(double x) noexcept { return impl::atan(x); }
inline double sinh(double x) noexcept { return impl::sinh(x); }
inline double cosh(double x) noexcept { return impl::cosh(x); }
inline double tanh(double x) noexcept { return impl::tanh(x); }
inline double fmod(double x, double y) noexcept { return impl::fmod(x, y); }

}  // namespace mcall
