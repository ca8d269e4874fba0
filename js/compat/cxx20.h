// Forced into every C++ object of the WebAssembly build: Emscripten 3.1.6's
// C++ library predates three C++17/20 pieces the engine and its tools use:
// std::bit_cast (which the compiler does itself), std::atomic_ref (the
// compiler's atomic built-ins on the referenced object) and std::to_chars
// for a double (the shortest text that reads back as the same double).
#pragma once
#ifdef __cplusplus
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
namespace std {
#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
         is_trivially_copyable_v<From>) constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif
#if !defined(__cpp_lib_atomic_ref)
template <class T>
requires(is_integral_v<T>) class atomic_ref {
 public:
  explicit atomic_ref(T& object) noexcept : object_(&object) {}
  T load(memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_load_n(object_, static_cast<int>(order));
  }
  void store(T value, memory_order order = memory_order_seq_cst) const noexcept {
    __atomic_store_n(object_, value, static_cast<int>(order));
  }
  bool compare_exchange_weak(T& expected, T desired,
                             memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_compare_exchange_n(object_, &expected, desired, true, static_cast<int>(order),
                                       __ATOMIC_SEQ_CST);
  }
  bool compare_exchange_strong(T& expected, T desired,
                               memory_order order = memory_order_seq_cst) const noexcept {
    return __atomic_compare_exchange_n(object_, &expected, desired, false, static_cast<int>(order),
                                       __ATOMIC_SEQ_CST);
  }

 private:
  T* object_;
};
#endif
#if !defined(__cpp_lib_to_chars)
// As the C++17 function: the fewest significant digits that read back as
// `value` (the nearest such), written in fixed or exponent form, whichever
// is shorter (fixed on a tie), with printf's exponent ("1e+20", "1e-05"),
// and a whole number in fixed form with all its exact digits.
inline to_chars_result to_chars(char* first, char* last, double value) {
  char text[64];
  int length;
  if (value != value || value - value != 0) {
    length = snprintf(text, sizeof text, "%s%s", signbit(value) ? "-" : "",
                      value != value ? "nan" : "inf");
  } else {
    char e_form[32];
    int precision = 1;
    for (; precision < 17; ++precision) {
      snprintf(e_form, sizeof e_form, "%.*e", precision - 1, value);
      if (strtod(e_form, nullptr) == value) break;
    }
    snprintf(e_form, sizeof e_form, "%.*e", precision - 1, value);
    // e_form: [-]d[.ddd]e(+|-)XX
    const char* p = e_form;
    const bool negative = *p == '-';
    if (negative) ++p;
    char digits[20];
    int count = 0;
    for (; *p != 'e'; ++p) {
      if (*p != '.') digits[count++] = *p;
    }
    const int exponent = atoi(p + 1);
    char fixed[400];
    int n = 0;
    if (negative) fixed[n++] = '-';
    if (exponent >= count - 1) {
      // A whole number: its exact digits, as wide as the shortest ones
      // padded with zeros.
      n = snprintf(fixed, sizeof fixed, "%.0f", value);
    } else if (exponent >= 0) {
      memcpy(fixed + n, digits, exponent + 1);
      n += exponent + 1;
      fixed[n++] = '.';
      memcpy(fixed + n, digits + exponent + 1, count - exponent - 1);
      n += count - exponent - 1;
    } else {
      fixed[n++] = '0';
      fixed[n++] = '.';
      for (int i = 0; i < -exponent - 1; ++i) fixed[n++] = '0';
      memcpy(fixed + n, digits, count);
      n += count;
    }
    const int e_length = static_cast<int>(strlen(e_form));
    if (n <= e_length) {
      memcpy(text, fixed, n);
      length = n;
    } else {
      memcpy(text, e_form, e_length);
      length = e_length;
    }
  }
  if (last - first < length) return {last, errc::value_too_large};
  memcpy(first, text, length);
  return {first + length, errc{}};
}
#endif
}  // namespace std
#endif
