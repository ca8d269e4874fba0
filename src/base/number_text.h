// Number text: reading integers and reals out of text and writing them back.
// Numbers travel between the engine's stages as text, so every digit written
// here is visible to hosts. Integers are signed 32-bit and wrap modulo 2^32;
// byte 150 (the en dash) is read wherever '-' is, and written for '-' when
// the dash option is on.
#pragma once

#include <cstdint>

#include "base/alg_string.h"

class alg_value;

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
// Half away from zero at n decimals (n may be negative).
double round_to(double x, int32_t n);
// n < 0: as many fraction digits as the value has (up to 41); n >= 0: exactly n.
// The exponent form is used when `exponent` is set or x > 10^10 - 1.
alg_string real_to_text(double x, int32_t n, bool exponent, bool dash);
alg_string value_to_text(const alg_value& value, int32_t n, bool exponent, bool dash);

// Commas between groups of three digits before the decimal point (or before
// an exponent); a leading '-' or en dash stays in front; a text that already
// holds a ',' is returned unchanged.
alg_string group_thousands(const alg_string& text);
