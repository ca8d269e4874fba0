// Number text conversion and thousands grouping.
//
// Every digit written here reaches hosts or is read back by the evaluator, and
// hosts compare those digits with what the engine has always produced. So the
// double arithmetic is deliberate: the readers accumulate digit weights rather
// than calling a correctly rounding library parse ('3.14159' reads as
// 3.1415900000000003, not as the double nearest 3.14159), and the writers
// produce fraction digits by repeated multiplication by 10, which is why 0.1
// prints as 0.1 (0.1 * 10 is exactly 1) while 0.1 + 0.2 shows 41 digits. Integer arithmetic wraps
// modulo 2^32 through unsigned 32-bit values (number_cast.h); nothing here has undefined behaviour
// for any input, and every loop is bounded.
#include "base/number_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/math_calls.h"
#include "base/number_cast.h"

namespace {

constexpr char kDashByte = en_dash;
constexpr uint32_t kMaxFractionDigits = 41;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The readers take the en dash wherever they take '-'.
std::string dashes_to_minus(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c == kDashByte) c = '-';
  return s;
}

// Spaces and '+' carry no meaning in a number's sign prefix, and "--" pairs
// cancel, so '---5' is -5: the evaluator writes a negative result behind a
// sign that was already in the text ("-" then "-2" gives "--2").
std::string strip_signs(const std::string& number) {
  // Most numbers have nothing to strip.
  if (number.find_first_of(" +") == std::string::npos && number.find("--") == std::string::npos) {
    return number;
  }
  std::string kept;
  kept.reserve(number.size());
  for (char c : number)
    if (c != ' ' && c != '+') kept += c;
  std::string out;
  out.reserve(kept.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == '-' && i + 1 < kept.size() && kept[i + 1] == '-') {
      ++i;  // skip the pair
      continue;
    }
    out += kept[i];
  }
  return out;
}

// Appends the decimal digits of an unsigned magnitude (no sign).
void append_unsigned_digits(std::string& text, uint64_t magnitude) {
  char buffer[24];
  int at = 24;
  do {
    buffer[--at] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  text.append(buffer + at, buffer + 24);
}

std::string unsigned_digits(uint64_t magnitude) {
  std::string text;
  append_unsigned_digits(text, magnitude);
  return text;
}

// The integer readers' digit sum: each byte weighs ten times the one after
// it, and only digits add, modulo 2^32.
uint32_t wrapped_digit_sum(std::string_view digits) {
  uint32_t value = 0;
  uint32_t weight = 1;
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (is_digit(digits[i])) value += static_cast<uint32_t>(digits[i] - '0') * weight;
    weight *= 10u;
  }
  return value;
}

// The real readers' one accumulator: integer digits from the last, then
// fraction digits from the first. A zero digit adds nothing (skipping it also
// keeps an infinite weight of a very long digit string from turning the sum
// into a NaN).
double digit_sum(std::string_view integer_digits, std::string_view fraction_digits) {
  double value = 0;
  double weight = 1;
  for (std::size_t i = integer_digits.size(); i-- > 0;) {
    const char c = integer_digits[i];
    if (is_digit(c) && c != '0') value += (c - '0') * weight;
    weight *= 10;
  }
  weight = 0.1;
  for (char c : fraction_digits) {
    if (is_digit(c) && c != '0') value += (c - '0') * weight;
    weight *= 0.1;
  }
  return value;
}

// The exact decimal digits of a non-negative integral double (what
// printf("%.0f") gives, without depending on the C runtime's printf).
std::string integral_digits(double value) {
  if (value == 0.0) return "0";
  // Below 2^64 the integral double converts exactly; the usual case.
  if (value < 18446744073709551616.0) return unsigned_digits(static_cast<uint64_t>(value));
  // value = m 2^e with m < 2^53 and e > 11: m doubled e times, in limbs of
  // nine decimal digits, least significant first (DBL_MAX needs 35).
  const auto bits = std::bit_cast<uint64_t>(value);
  uint64_t mantissa = (bits & 0xFFFFFFFFFFFFFull) | 0x10000000000000ull;
  int e = static_cast<int>(bits >> 52) - 1075;
  std::vector<uint32_t> limbs;
  while (mantissa != 0) {
    limbs.push_back(static_cast<uint32_t>(mantissa % 1000000000u));
    mantissa /= 1000000000u;
  }
  while (e > 0) {
    const int step = e < 29 ? e : 29;  // a limb times 2^29 fits in 64 bits
    uint64_t carry = 0;
    for (uint32_t& limb : limbs) {
      const uint64_t cur = (static_cast<uint64_t>(limb) << step) + carry;
      limb = static_cast<uint32_t>(cur % 1000000000u);
      carry = cur / 1000000000u;
    }
    while (carry != 0) {
      limbs.push_back(static_cast<uint32_t>(carry % 1000000000u));
      carry /= 1000000000u;
    }
    e -= step;
  }
  std::string digits = std::to_string(limbs.back());
  for (std::size_t i = limbs.size() - 1; i-- > 0;) {
    const std::string limb = std::to_string(limbs[i]);
    digits.append(9 - limb.size(), '0').append(limb);
  }
  return digits;
}

std::string dashed(std::string text, bool dash) {
  if (dash)
    for (char& c : text)
      if (c == '-') c = kDashByte;
  return text;
}

// The non-finite literals: the whole text is a sign prefix such as a number
// may have ('+', '-', en dash, spaces) followed by "inf" or "nan" in any
// case. `copy` already has its dashes turned into '-' and is lower case.
bool read_non_finite(const std::string& copy, double& value) {
  std::size_t i = 0;
  int minus = 0;
  while (i < copy.size() && (copy[i] == '+' || copy[i] == '-' || copy[i] == ' ')) {
    if (copy[i] == '-') ++minus;
    ++i;
  }
  const std::string_view rest = std::string_view(copy).substr(i);
  if (rest == "inf") {
    value = (minus % 2 != 0) ? -std::numeric_limits<double>::infinity()
                             : std::numeric_limits<double>::infinity();
    return true;
  }
  if (rest == "nan") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return false;
}

std::string fixed_form(double x, int32_t n);

// Calls digit(place, d) for the fraction digits of f in [0, 1) (place from
// 0) that the double loop
//
//   f = f * 10;  whole = trunc(f);  f = f - whole;
//
// makes, up to `wanted` of them and stopping when f is 0; returns how many.
//
// Most steps are taken in integers, which give the very same digits without
// the loop's chain of conversions. Once f is a multiple of 2^-52 it is
// u 2^-52 with an integer u < 2^52, and stays such a multiple: 10f is then
// p = 10u units of 2^-52, below 10 * 2^52 < 2^56. The double product keeps 53
// significant bits, rounding to nearest with ties to even, so it drops the
// low 1, 2 or 3 bits of p when p is at least 2^53, 2^54 or 2^55 (below 2^53
// p is even, and rounding away its lowest bit leaves it as it is). The whole
// part of the rounded product is the digit (at most 9: 10 - 10 * 2^-52 rounds
// down to 10 - 8 * 2^-52), and f - whole, exact in doubles, keeps the low 52
// bits.
//
// A fraction with bits below 2^-52 (from a value under 1) takes its first
// steps in doubles: a step that gives a digit other than 0 leaves a multiple
// of 2^-52, and smaller values need a few zero digits first.
template <typename Digit>
uint32_t for_each_fraction_digit(double f, uint32_t wanted, Digit&& digit) {
  uint32_t count = 0;
  uint64_t u = 0;
  for (;;) {
    if (f == 0 || count >= wanted) return count;
    const double units = f * 0x1p52;  // exact: a power of two
    const auto whole_units = static_cast<int64_t>(units);
    if (static_cast<double>(whole_units) == units) {
      u = static_cast<uint64_t>(whole_units);
      break;
    }
    f = f * 10;
    // f is in [0, 10) here, where truncation is the floor (and much cheaper
    // than a call of floor on processors without a rounding instruction).
    double whole = static_cast<double>(static_cast<int>(f));
    if (whole > 9) whole = 9;  // cannot happen for f < 1; kept as a guard
    digit(count++, static_cast<int>(whole));
    f = f - whole;
  }
  // 10u reaches 2^54 and 2^55 from these on (tested on u rather than on the
  // product, which keeps the tests off the loop's dependency chain).
  constexpr uint64_t k54 = ((uint64_t{1} << 54) + 9) / 10;
  constexpr uint64_t k55 = ((uint64_t{1} << 55) + 9) / 10;
  while (u != 0 && count < wanted) {
    const unsigned dropped = 1u + (u >= k54) + (u >= k55);
    const uint64_t unit = uint64_t{1} << dropped;
    // Half a unit, less one when the kept part is even (a tie then rounds
    // down); the bits below the unit go with the digit's.
    uint64_t p = u * 10;
    p += unit / 2 - 1 + ((p >> dropped) & 1);
    digit(count++, static_cast<int>(p >> 52));
    u = p & ((uint64_t{1} << 52) - unit);
  }
  return count;
}

// The fraction digits of f in [0, 1) as the fixed form writes them: up to
// `wanted` of them (at most kMaxFractionDigits), stopping when nothing is left.
std::size_t fraction_digits(double f, std::size_t wanted, char* digits) {
  return for_each_fraction_digit(f, static_cast<uint32_t>(wanted), [digits](uint32_t place, int d) {
    digits[place] = static_cast<char>('0' + d);
  });
}

std::string exponent_form(double x, int32_t n) {
  const double s = (x < 0) ? -1.0 : 1.0;
  double m = std::fabs(x);
  int32_t exponent = 0;
  if (round_to(m, 40) == 0) {
    m = 0;
  } else {
    // m is finite and at least about 5e-41 here, so this ends after a few
    // hundred steps at most.
    for (;;) {
      if (m < 1) {
        m = m * 10;
        --exponent;
      } else if (m >= 10) {
        m = m * 0.1;
        ++exponent;
      } else {
        break;
      }
    }
  }
  // The mantissa is not normalised again after its own rounding (9.9999e20
  // at 2 decimals is 10.00e20).
  return fixed_form(s * m, n) + "e" + std::string(int_to_text(exponent, false).view());
}

std::string fixed_form(double x, int32_t n) {
  if (n >= 0) x = round_to(x, n);
  const bool negative = x < 0;
  double integer_part = 0;
  double f = std::modf(std::fabs(x), &integer_part);
  const bool fraction_was_zero = (f == 0);

  // Rounding to n decimals looks at the digits up to n + 1 and at whether
  // any follows (see below); without rounding every digit is written.
  const std::size_t wanted =
      n >= 0 ? std::min<std::size_t>(kMaxFractionDigits, static_cast<std::size_t>(n) + 2)
             : kMaxFractionDigits;
  char digits[kMaxFractionDigits];
  std::size_t count = fraction_digits(f, wanted, digits);

  if (n >= 0 && count > static_cast<std::size_t>(n)) {
    const auto cut = static_cast<std::size_t>(n);
    // The digits past n compare above "4" when the first of them is above
    // '4', or is '4' with more digits after it.
    if (digits[cut] > '4' || (digits[cut] == '4' && count > cut + 1)) {
      // The digits come from repeated multiplication of a value that was
      // already rounded, so what lies past digit n is either the leftover of
      // a value just above the rounded one ("000...") or just below it
      // ("999..."). Cutting would turn 0.29999999999999998 at one decimal
      // into 0.2; the carry walks back over the '9's to give 0.3.
      std::size_t at = cut;
      while (at > 0 && digits[at - 1] == '9') --at;
      if (at == 0) {
        count = 0;
        integer_part += 1;
      } else {
        ++digits[at - 1];
        count = at;
      }
    } else {
      count = cut;
    }
  }

  std::string text;
  if (negative) text += '-';
  if (integer_part < 18446744073709551616.0) {
    // The usual case, without building a string for the integral digits.
    append_unsigned_digits(text, static_cast<uint64_t>(integer_part));
  } else {
    text += integral_digits(integer_part);
  }
  const std::string_view fraction(digits, count);
  if (fraction_was_zero) {
    if (n > 0) text.append(1, '.').append(static_cast<std::size_t>(n), '0');
  } else if (n < 0) {
    if (fraction.find_first_not_of('0') != std::string_view::npos) {
      text.append(1, '.').append(fraction);
    }
  } else if (n > 0) {
    text.append(1, '.').append(fraction);
    if (count < static_cast<std::size_t>(n)) text.append(static_cast<std::size_t>(n) - count, '0');
  }
  // n == 0: no fraction text (rounding to 0 decimals leaves no fraction).
  return text;
}

}  // namespace

int32_t text_to_int(const alg_string& text, uint32_t* consumed) {
  // The usual text: at most one sign, then digits. It reads as the general
  // reader below reads it, without copying the text.
  const std::string_view bytes = text.view();
  const bool signed_text = !bytes.empty() && (bytes[0] == '-' || bytes[0] == kDashByte);
  const std::size_t first = signed_text ? 1 : 0;
  if (first < bytes.size() && is_digit(bytes[first])) {
    std::size_t end = first;
    while (end < bytes.size() && is_digit(bytes[end])) ++end;
    if (consumed != nullptr) *consumed = static_cast<uint32_t>(end);
    const auto result = static_cast<int32_t>(wrapped_digit_sum(bytes.substr(first, end - first)));
    return signed_text ? wrap_neg(result) : result;
  }
  return with_string_space([&]() -> int32_t {
    const std::string copy = dashes_to_minus(text.view());
    bool digit_seen = false;
    std::size_t end = 0;
    for (; end < copy.size(); ++end) {
      const char c = copy[end];
      if (is_digit(c)) {
        digit_seen = true;
      } else if (c == '+' || c == '-' || c == ' ') {
        if (digit_seen) break;
      } else {
        break;
      }
    }
    if (consumed != nullptr) *consumed = static_cast<uint32_t>(end);

    std::string number = strip_signs(copy.substr(0, end));
    bool negative = false;
    if (!number.empty() && number[0] == '-') {
      negative = true;
      number.erase(0, 1);
    }
    const auto result = static_cast<int32_t>(wrapped_digit_sum(number));
    return negative ? wrap_neg(result) : result;
  });
}

double text_to_real(const alg_string& text, uint32_t* consumed) {
  // The usual text: at most one sign, then digits with at most one '.'
  // (a second one ends the number), no exponent. It reads as the general
  // reader below reads it, without copying the text.
  const std::string_view bytes = text.view();
  const bool signed_text = !bytes.empty() && (bytes[0] == '-' || bytes[0] == kDashByte);
  const std::size_t first = signed_text ? 1 : 0;
  if (first < bytes.size() && (is_digit(bytes[first]) || bytes[first] == '.')) {
    std::size_t end = first;
    std::size_t dot = std::string_view::npos;
    for (; end < bytes.size(); ++end) {
      const char c = bytes[end];
      if (c == '.') {
        if (dot != std::string_view::npos) break;
        dot = end;
      } else if (!is_digit(c)) {
        break;
      }
    }
    const bool exponent_follows = end < bytes.size() && (bytes[end] == 'e' || bytes[end] == 'E');
    if (!exponent_follows) {
      if (consumed != nullptr) *consumed = static_cast<uint32_t>(end);
      const std::size_t integer_end = dot == std::string_view::npos ? end : dot;
      const double value =
          digit_sum(bytes.substr(first, integer_end - first),
                    integer_end < end ? bytes.substr(integer_end + 1, end - integer_end - 1)
                                      : std::string_view());
      // The general reader scales by 10^0, which is exactly 1.
      return signed_text ? -1.0 * value : value;
    }
  }
  return with_string_space([&]() -> double {
    const std::string copy = dashes_to_minus(text.lower().view());

    double special = 0;
    if (read_non_finite(copy, special)) {
      if (consumed != nullptr) *consumed = static_cast<uint32_t>(copy.size());
      return special;
    }

    bool exponent_seen = false;
    bool digit_seen = false;
    std::size_t end = 0;
    for (; end < copy.size(); ++end) {
      const char c = copy[end];
      if (c == 'e') {
        if (exponent_seen) break;
        exponent_seen = true;
        digit_seen = false;
      } else if ((c == '.' || c == ' ') && exponent_seen) {
        break;
      } else if (c == '.' || is_digit(c)) {
        digit_seen = true;
      } else if (c == '+' || c == '-' || c == ' ') {
        if (digit_seen) break;
      } else {
        break;
      }
    }
    std::string number = copy.substr(0, end);
    const std::size_t first_dot = number.find('.');
    if (first_dot != std::string::npos) {
      const std::size_t second_dot = number.find('.', first_dot + 1);
      if (second_dot != std::string::npos) number.resize(second_dot);
    }
    if (consumed != nullptr) *consumed = static_cast<uint32_t>(number.size());

    number = strip_signs(number);
    int32_t exponent = 0;
    const std::size_t e_at = number.find('e');
    if (e_at != std::string::npos) {
      exponent = text_to_int(alg_string(std::string_view(number).substr(e_at + 1)));
      number.resize(e_at);
    }
    double sign = 1;
    if (!number.empty() && number[0] == '-') {
      sign = -1;
      number.erase(0, 1);
    }
    const std::size_t dot = number.find('.');
    const std::string_view integer_digits =
        std::string_view(number).substr(0, dot == std::string::npos ? number.size() : dot);
    const std::string_view fraction_digits =
        dot == std::string::npos ? std::string_view() : std::string_view(number).substr(dot + 1);

    const double value = digit_sum(integer_digits, fraction_digits);
    return mcall::pow(10.0, static_cast<double>(exponent)) * (sign * value);
  });
}

int32_t hex_to_int(const alg_string& text) {
  const alg_string t = text.upper().cut_at_nul();
  const std::string_view bytes = t.view();
  uint32_t value = 0;
  uint32_t weight = 1;
  for (std::size_t i = bytes.size(); i-- > 0;) {
    const char c = bytes[i];
    if (c >= '0' && c <= '9') {
      value += static_cast<uint32_t>(c - '0') * weight;
    } else if (c >= 'A' && c <= 'F') {
      value += static_cast<uint32_t>(c - 'A' + 10) * weight;
    }
    weight *= 16u;
  }
  return static_cast<int32_t>(value);
}

alg_string int_to_text(int32_t value, bool dash) {
  // Written from the end of a buffer: at most a sign and ten digits.
  char buffer[12];
  uint32_t at = sizeof buffer;
  // The magnitude as unsigned: -2147483648 gives 2147483648.
  const auto bits = static_cast<uint32_t>(value);
  uint32_t magnitude = value < 0 ? 0u - bits : bits;
  do {
    buffer[--at] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  if (value < 0) buffer[--at] = dash ? kDashByte : '-';
  return alg_string(buffer + at, static_cast<uint32_t>(sizeof buffer - at));
}

alg_string int_to_hex(int32_t value, uint32_t width) {
  return with_string_space([&]() -> alg_string {
    static constexpr char kHex[] = "0123456789ABCDEF";
    auto u = static_cast<uint32_t>(value);
    std::string digits;
    do {
      digits.insert(digits.begin(), kHex[u & 0xFu]);
      u >>= 4;
    } while (u != 0);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    if (width > 0 && digits.size() > width) digits.resize(width);
    return alg_string(std::string_view(digits));
  });
}

namespace {

// Recent read-backs of values with a fraction, per thread: the same values
// come back again and again (a draw from a small range, the result made
// from it), and each costs a run over up to 41 digits. 24 KiB: static
// thread storage takes its room from every thread's stack, also in threads
// that never call the engine. Two values share each set, the newer first,
// so that two values met in turn do not keep pushing each other out.
struct read_back_memo {
  struct entry {
    uint64_t bits = 0;
    double real = 0;
    uint32_t length = 0;  // 0: empty
  };
  using set = std::array<entry, 2>;
  std::array<set, 512> sets{};
  static size_t slot(uint64_t bits) {
    return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> 55);
  }
};

thread_local read_back_memo memo;

}  // namespace

literal_reading read_back_real_literal(double x, int32_t& integer, double& real, uint32_t& length) {
  // Values whose fixed form has at most nine integer digits; NaN fails too.
  if (!(std::fabs(x) < 1e9)) return literal_reading::not_taken;
  const bool negative = x < 0;
  // Below 1e9 the integer part fits an int32 and the fraction is exact:
  // what modf gives, without its call.
  const auto whole_part = static_cast<int32_t>(std::fabs(x));
  const double integer_part = static_cast<double>(whole_part);
  const double f = std::fabs(x) - integer_part;
  // The sign and integer digits.
  const auto integer_length = [negative, whole_part] {
    uint32_t digits = 1;
    for (auto m = static_cast<uint32_t>(whole_part); m >= 10; m /= 10) ++digits;
    return (negative ? 1u : 0u) + digits;
  };
  // A literal without a fraction: its digits and sign read as an integer
  // while they are shorter than ten bytes, else as a real (exactly).
  const auto whole_reading = [&](uint32_t written) {
    length = written;
    if (written < 10) {
      integer = negative ? wrap_neg(whole_part) : whole_part;
      return literal_reading::integer;
    }
    real = -1.0 * integer_part;
    return literal_reading::real;
  };
  // A whole value needs no memory.
  if (f == 0) return whole_reading(integer_length());
  const auto bits = std::bit_cast<uint64_t>(x);
  read_back_memo::set& kept = memo.sets[read_back_memo::slot(bits)];
  for (const read_back_memo::entry& e : kept) {
    if (e.length != 0 && e.bits == bits) {
      real = e.real;
      length = e.length;
      return literal_reading::real;
    }
  }
  // The integer digits sum to the integer part exactly; the fraction digits
  // are made as the fixed form makes them and summed as the reader sums
  // them, in one loop.
  double value = integer_part;
  double weight = 0.1;
  uint32_t last_nonzero = 0;  // 1-based; 0: every digit is '0'
  const uint32_t count =
      for_each_fraction_digit(f, kMaxFractionDigits, [&](uint32_t place, int digit) {
        // A 0 digit adds +0 to a sum that is never -0, which leaves it as
        // it is: adding it anyway spares the loop a branch it mispredicts.
        value += static_cast<double>(digit) * weight;
        if (digit != 0) last_nonzero = place + 1;
        weight *= 0.1;
      });
  // Every fraction digit made is 0: none is written.
  if (last_nonzero == 0) return whole_reading(integer_length());
  length = integer_length() + 1 + count;
  real = negative ? -1.0 * value : value;
  kept[1] = kept[0];
  kept[0] = {bits, real, length};
  return literal_reading::real;
}

double round_to(double x, int32_t n) {
  const double y = (n != 0) ? x * mcall::pow(10.0, static_cast<double>(n)) : x;
  // The scaling overflowed (or met 0 * infinity): x is then finer than the
  // rounding step can express, and rounding leaves it as it is.
  if (std::isfinite(x) && !std::isfinite(y)) return x;
  const double r = (y >= 0) ? std::floor(y + 0.5) : std::ceil(y - 0.5);
  if (n == 0) return r;
  if (r == 0) return r;  // keeps 0 * infinity away for very negative n
  return r * mcall::pow(10.0, -static_cast<double>(n));
}

// Decimals beyond this would only pad zeros onto a text of that many bytes;
// such a count is treated like the allocation that cannot be made, instead of
// tying the host up building gigabytes of zeros.
constexpr int32_t kMaxDecimals = 1000000;

alg_string real_to_text(double x, int32_t n, bool exponent, bool dash) {
  if (n > kMaxDecimals) throw z_x_outofstringspace();
  return with_string_space([&]() -> alg_string {
    std::string text;
    if (std::isnan(x)) {
      text = "nan";
    } else if (std::isinf(x)) {
      text = (x < 0) ? "-inf" : "inf";
    } else if (exponent || x > 9999999999.0) {
      text = exponent_form(x, n);
    } else {
      text = fixed_form(x, n);
    }
    return alg_string(std::string_view(dashed(std::move(text), dash)));
  });
}

alg_string group_thousands(const alg_string& text) {
  return with_string_space([&]() -> alg_string {
    std::string body(text.view());
    std::string sign;
    if (!body.empty() && (body[0] == '-' || body[0] == kDashByte)) {
      sign = std::string(1, body[0]);
      body.erase(0, 1);
    }
    if (body.find(',') == std::string::npos) {
      // Only the digits before the first '.' or 'e' are grouped: a value of
      // 10^10 or more is written in exponent form, and its mantissa has a
      // single digit before the point.
      const std::size_t stop = body.find_first_of(".e");
      const std::size_t p = (stop == std::string::npos) ? body.size() : stop;  // 0-based
      // 1-based: insert before p1 - 3, p1 - 6, ... while the position is > 1,
      // that is 0-based before p - 3, p - 6, ... while it is > 0.
      for (std::size_t at = p; at > 3; at -= 3) body.insert(at - 3, 1, ',');
    }
    return alg_string(std::string_view(sign + body));
  });
}
