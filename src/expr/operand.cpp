#include "expr/operand.h"

#include <array>

#include "base/errors.h"
#include "base/number_cast.h"
#include "base/number_text.h"
#include "base/thread_stack.h"
#include "value/checks.h"
#include "value/literal_codec.h"

namespace {

constexpr std::array<reserved_word, 8> kReservedWords{{
    {"pi", true, 3.141592653589793, 0},
    {"e", true, 2.718281828459045, 0},
    {"off", false, 0, 0},
    {"false", false, 0, 0},
    {"no", false, 0, 0},
    {"on", false, 0, 1},
    {"true", false, 0, 1},
    {"yes", false, 0, 1},
}};

// A first byte that ends both number scans at once: a letter other than the
// exponent mark and the first letters of "inf" and "nan", or an underscore.
bool starts_like_name(const alg_string& text) {
  const int c = text.char_at(1);
  const int lower = (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (lower == '_') return true;
  return lower >= 'a' && lower <= 'z' && lower != 'e' && lower != 'i' && lower != 'n';
}

}  // namespace

bool reserved_value(std::string_view lowered, alg_value& value) {
  for (const reserved_word& w : kReservedWords) {
    if (lowered == w.word) {
      value = w.is_real ? alg_value::of_real(w.real) : alg_value::of_integer(w.integer);
      return true;
    }
  }
  return false;
}

bool read_number(const alg_string& text, alg_value& value) {
  // Operands that start with a letter no number text can start with are
  // names: the number readers would accept none of their bytes.
  if (text.empty() || starts_like_name(text)) return false;
  const uint32_t length = text.length();
  uint32_t consumed = 0;
  const int32_t integer = text_to_int(text, &consumed);
  if (consumed == length && length < 10) {
    value = alg_value::of_integer(integer);
    return true;
  }
  const double real = text_to_real(text, &consumed);
  if (consumed != length) return false;
  value = alg_value::of_real(real);
  return true;
}

alg_value operand_to_value(scope& s, const alg_string& text, const alg_string& context,
                           bool strict) {
  const uint32_t length = text.length();
  if (length == 0) throw z_x_missing_operand(context);
  // Most operands of fields are a few digits: they read as that integer.
  if (length < 10) {
    int32_t digits = 0;
    uint32_t i = 0;
    for (const char c : text.view()) {
      if (c < '0' || c > '9') break;
      digits = digits * 10 + (c - '0');
      ++i;
    }
    if (i == length) return alg_value::of_integer(digits);
  }
  if (text.char_at(1) == '"' && text.char_at(length) == '"') {
    return alg_value::of_text(decode_literal(length >= 2 ? text.mid(2, length - 2) : alg_string()));
  }
  if (length == 1 && (text.char_at(1) == 'e' || text.char_at(1) == 'E')) {
    if (strict) throw z_x_baddefinition(context);
    return s.value_of(alg_string("e"));
  }
  alg_value number;
  if (read_number(text, number)) return number;
  if (strict) throw z_x_baddefinition(context);
  return name_to_value(s, text, context);
}

uint32_t leading_signs(const alg_string& text) {
  const uint32_t length = text.length();
  uint32_t signs = 0;
  while (signs < length) {
    const int c = text.char_at(signs + 1);
    if (c != '+' && c != '-' && c != static_cast<unsigned char>(en_dash)) break;
    ++signs;
  }
  return signs;
}

alg_value signed_name_value(scope& s, alg_value value, const alg_string& text, uint32_t signs) {
  // A name hands over a copy of its value.
  if (value.is_text()) s.spend(value.text().length());
  for (uint32_t i = 1; i <= signs; ++i) {
    const alg_string sign = text.mid(i, 1);
    check_kind(value, "d", sign);
    if (sign.char_at(1) == '+') continue;
    if (value.is_integer()) {
      value.set_integer(wrap_neg(value.as_integer()));
    } else {
      value.set_real(-value.as_real());
    }
  }
  return value;
}

alg_value name_to_value(scope& s, const alg_string& text, const alg_string& context) {
  (void)context;
  // A name's definition may be evaluated now, nesting one more level (a
  // digits field names a variable without a formula around it).
  if (stack_running_low()) throw z_x_stack_overflow(text);
  // A name with optional signs in front; each sign applies to a number.
  const uint32_t signs = leading_signs(text);
  return signed_name_value(s, s.value_of(text.from(signs + 1)), text, signs);
}

alg_value literal_read_back(alg_value value, uint32_t* length) {
  switch (value.kind()) {
    case value_kind::text:
      // Encoding and decoding give back every byte.
      if (length != nullptr) *length = 2 + encoded_length(value.text().view());
      return value;
    case value_kind::integer: {
      // Up to nine bytes of digits and sign read as the integer; more as a real.
      const int32_t n = value.as_integer();
      if (length != nullptr) {
        uint32_t digits = 1;
        for (int64_t m = n < 0 ? -static_cast<int64_t>(n) : n; m >= 10; m /= 10) ++digits;
        *length = digits + (n < 0 ? 1 : 0);
      }
      if (n > -100000000 && n < 1000000000) return value;
      return alg_value::of_real(static_cast<double>(n));
    }
    case value_kind::real:
      return real_read_back(value.as_real(), length);
  }
  return {};
}

alg_value real_read_back(double x, uint32_t* length) {
  int32_t integer = 0;
  double real = 0;
  uint32_t written = 0;
  const literal_reading reading = read_back_real_literal(x, integer, real, written);
  if (reading != literal_reading::not_taken) {
    if (length != nullptr) *length = written;
    return reading == literal_reading::integer ? alg_value::of_integer(integer)
                                               : alg_value::of_real(real);
  }
  const alg_string literal = literal_text(alg_value::of_real(x));
  alg_value read;
  if (!read_number(literal, read)) throw z_x_missing_operand(alg_string());
  if (length != nullptr) *length = literal.length();
  return read;
}
