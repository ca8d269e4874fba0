// Conversions from double to the engine's 32-bit integers without undefined
// behaviour: what the original 32-bit platform's truncating conversion gives.
#pragma once

#include <cmath>
#include <cstdint>

// Truncates toward zero; NaN and values outside the signed 32-bit range give
// -2147483648 (the "integer indefinite" of the x87/SSE conversion).
inline int32_t truncate_to_int32(double x) noexcept {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// Wrapping 32-bit arithmetic without signed overflow.
inline int32_t wrap_add(int32_t a, int32_t b) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_mul(int32_t a, int32_t b) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t wrap_neg(int32_t a) noexcept {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}
