// Number text: reading integers and reals out of text, writing them back, and
// grouping thousands in result text.
// Numbers travel between the engine's stages as text, so every digit written
// here is visible to hosts. Integers are signed 32-bit and wrap modulo 2^32
// ('99999999999' reads as 1215752191; negating -2147483648 gives itself);
// byte 150 (the en dash) is read wherever '-' is, and written for '-' when
// the dash option is on.
//
// Non-finite values and other extremes:
// - Non-finite reals are written "inf", "-inf" and "nan" (the '-' becomes the
//   en dash with the dash option; the decimals and exponent options do not
//   apply; a NaN is "nan" whatever its sign bit). text_to_real reads them
//   back: a whole text made of a sign prefix such as a number may have ('+',
//   '-', en dash, spaces; an odd count of minus signs makes it negative)
//   followed by "inf" or "nan" in any letter case is +-infinity or NaN with
//   consumed = the whole length. Every other text reads as it always has
//   ("in", "info", "infinity", "inf1" give 0 with consumed 0).
// - text_to_real skips zero digits instead of adding 0 x weight: the sum is
//   the same, and a digit string longer than 308 places cannot turn it into
//   0 x infinity = NaN.
// - round_to leaves a finite x as it is when x * 10^n overflows (or is
//   0 x infinity): such an x is finer than the rounding step; and a rounded 0
//   stays 0 when 10^-n is infinite. Every finite scaling is kept as it is.
// - real_to_text's fixed form writes the integer part exactly (the decimal
//   value of the double, as printf("%.0f") does, -1e300 included); with
//   n = 0 it writes no decimal point.
// - group_thousands groups only the digits before the first '.' or 'e', so
//   an exponent form ("2e10") is left alone.
#pragma once

#include <cstdint>

#include "base/alg_string.h"

inline constexpr char en_dash = static_cast<char>(150);

// The integer at the start of `text`; `consumed` (when given) is the length
// of the number text the scan accepted (0 when there is none).
int32_t text_to_int(const alg_string& text, uint32_t* consumed = nullptr);
// The real at the start of `text`, digit weights accumulated as the engine
// always has ('3.14159' reads as 3.1415900000000003).
double text_to_real(const alg_string& text, uint32_t* consumed = nullptr);
int32_t hex_to_int(const alg_string& text);

alg_string int_to_text(int32_t value, bool dash);
// Upper-case hex of the value as unsigned 32-bit, padded with '0' to `width`
// and then cut to its first `width` bytes when width > 0.
alg_string int_to_hex(int32_t value, uint32_t width);
// How the literal of a real x (real_to_text(x, -1, false, false)) reads
// back through the number readers, found without writing it: as an integer,
// as a real, or not taken here (|x| of 10^9 or more, NaN), when the caller
// writes and reads the literal itself. `length` is the literal's length.
enum class literal_reading { not_taken, integer, real };
literal_reading read_back_real_literal(double x, int32_t& integer, double& real, uint32_t& length);

// Half away from zero at n decimals: r * 10^-n (a multiplication by the
// negative power) with r the rounded x * 10^n.
double round_to(double x, int32_t n);
// n < 0: as many fraction digits as the value has (up to 41); n >= 0: exactly n.
// The exponent form is used when `exponent` is set or x > 10^10 - 1 (a test
// on x itself: a negative value takes the fixed form whatever its size).
alg_string real_to_text(double x, int32_t n, bool exponent, bool dash);

// Commas between groups of three digits before the first '.' or 'e'; a
// leading '-' or en dash stays in front; a text that already holds a ',' is
// returned unchanged.
alg_string group_thousands(const alg_string& text);
