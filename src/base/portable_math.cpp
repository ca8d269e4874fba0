// The engine's own math functions (see portable_math.h). Only IEEE double
// operations are used: each +, -, *, / and sqrt is rounded once, as SSE2
// and every 64-bit processor do, so the results are the same on any build
// that does not keep wider intermediates.
//
// Most functions work in double-double arithmetic: a value is the unevaluated
// sum hi + lo of two doubles, about 106 bits, with the error-free sums and
// products of Dekker and Knuth. A result near 100 bits accurate rounds to
// the correctly rounded double unless the exact value lies within about
// 2^-45 ulp of a rounding boundary.
#include "base/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace pmath {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr double from_bits(uint64_t b) { return std::bit_cast<double>(b); }
constexpr uint64_t bits_of(double x) { return std::bit_cast<uint64_t>(x); }
constexpr uint32_t high_word(double x) { return static_cast<uint32_t>(bits_of(x) >> 32); }
constexpr uint32_t low_word(double x) { return static_cast<uint32_t>(bits_of(x)); }

// 2^k for -1022 <= k <= 1023.
double two_to(int k) { return from_bits(static_cast<uint64_t>(k + 1023) << 52); }

// x * 2^k, rounded once (only a result below the normal range rounds).
double scale(double x, int k) {
  if (k > 1023) {
    x *= two_to(1023);
    k -= 1023;
    return x * two_to(k > 1023 ? 1023 : k);
  }
  if (k < -1022) {
    if (k < -1600) return x * two_to(-1022) * two_to(-1022);
    return x * two_to(k + 600) * two_to(-600);
  }
  return x * two_to(k);
}

// ---- double-double arithmetic ----

struct dd {
  double hi;
  double lo;
};

[[gnu::always_inline]] inline dd two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

[[gnu::always_inline]] inline dd fast_two_sum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

[[gnu::always_inline]] inline void split(double a, double& hi, double& lo) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  hi = t - (t - a);
  lo = a - hi;
}

[[gnu::always_inline]] inline dd two_prod(double a, double b) {
  const double p = a * b;
  double ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

[[gnu::always_inline]] inline dd add(dd a, dd b) {
  dd s = two_sum(a.hi, b.hi);
  const dd t = two_sum(a.lo, b.lo);
  s.lo += t.hi;
  s = fast_two_sum(s.hi, s.lo);
  s.lo += t.lo;
  return fast_two_sum(s.hi, s.lo);
}

[[gnu::always_inline]] inline dd add(dd a, double b) {
  dd s = two_sum(a.hi, b);
  s.lo += a.lo;
  return fast_two_sum(s.hi, s.lo);
}

[[gnu::always_inline]] inline dd neg(dd a) { return {-a.hi, -a.lo}; }

[[gnu::always_inline]] inline dd mul(dd a, dd b) {
  dd p = two_prod(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return fast_two_sum(p.hi, p.lo);
}

[[gnu::always_inline]] inline dd mul(dd a, double b) {
  dd p = two_prod(a.hi, b);
  p.lo += a.lo * b;
  return fast_two_sum(p.hi, p.lo);
}

[[gnu::always_inline]] inline dd div(dd a, dd b) {
  const double q1 = a.hi / b.hi;
  dd r = add(a, neg(mul(b, q1)));
  const double q2 = r.hi / b.hi;
  r = add(r, neg(mul(b, q2)));
  const double q3 = r.hi / b.hi;
  return add(fast_two_sum(q1, q2), q3);
}

[[gnu::always_inline]] inline dd sqrt_dd(dd a) {
  if (a.hi <= 0) return {std::sqrt(a.hi), 0};
  const double s = std::sqrt(a.hi);
  const dd r = add(a, neg(two_prod(s, s)));
  return fast_two_sum(s, r.hi / (2 * s));
}

// ln 2 in three parts; k * kLn2Hi is exact for |k| < 2^21.
constexpr double kLn2Hi = from_bits(0x3FE62E42FEE00000);
constexpr double kLn2Mid = from_bits(0x3DEA39EF35793C76);
constexpr double kLn2Lo = from_bits(0x3A8CC01F98000000);
constexpr dd kLn2 = {from_bits(0x3FE62E42FEFA39EF), from_bits(0x3C7ABC9E3B39803F)};
constexpr dd kPiOver2 = {from_bits(0x3FF921FB54442D18), from_bits(0x3C91A62633145C07)};

// Series coefficients, computed once in double-double.
struct coefficients {
  dd odd_inverse[24];  // 1 / (2k + 1)
  dd sin_series[16];   // (-1)^k / (2k + 1)!
  dd cos_series[16];   // (-1)^k / (2k)!
  dd atan_series[18];  // (-1)^k / (2k + 1)
  dd inverse[13];      // 1 / k

  coefficients() {
    const dd one = {1, 0};
    for (int k = 0; k < 24; ++k) odd_inverse[k] = div(one, dd{2.0 * k + 1, 0});
    for (int k = 0; k < 18; ++k) atan_series[k] = k % 2 == 0 ? odd_inverse[k] : neg(odd_inverse[k]);
    inverse[0] = one;
    for (int k = 1; k < 13; ++k) inverse[k] = div(one, dd{static_cast<double>(k), 0});
    sin_series[0] = one;
    cos_series[0] = one;
    for (int k = 1; k < 16; ++k) {
      sin_series[k] = div(sin_series[k - 1], dd{-(2.0 * k) * (2.0 * k + 1), 0});
      cos_series[k] = div(cos_series[k - 1], dd{-(2.0 * k - 1) * (2.0 * k), 0});
    }
  }
};

const coefficients& series() {
  static const coefficients table;
  return table;
}

// ---- exp and log ----

// (v.hi + v.lo) 2^k rounded once to nearest, for v.hi = fl(v.hi + v.lo)
// positive. Below 2^-1022 results keep fewer bits: rounding v.hi there
// would round twice (v.lo can decide which side of a subnormal midpoint the
// value lies), so the sum is rounded to a multiple of 2^-1074 directly.
double scale_rounded(dd v, int k) {
  // Above 2^-1022 the product is exact. At 2^-1022 it may have been
  // rounded up from below (v.hi = 1 - 2^-53, say).
  const double y = scale(v.hi, k);
  if (y > 0x1p-1022) return y;
  const double u = scale(v.hi, k + 1074),
               ul = scale(v.lo, k + 1074);  // in units of 2^-1074, below 2^53
  double n = std::nearbyint(u);
  const dd f = two_sum(u - n, ul);  // u - n is exact
  if (f.hi > 0.5 ||
      (f.hi == 0.5 && (f.lo > 0 || (f.lo == 0 && (static_cast<int64_t>(n) & 1) != 0)))) {
    n += 1;
  } else if (f.hi < -0.5 ||
             (f.hi == -0.5 && (f.lo < 0 || (f.lo == 0 && (static_cast<int64_t>(n) & 1) != 0)))) {
    n -= 1;
  }
  return n * 0x1p-1074;
}

// e^t 2^-k as a double-double, with k the whole multiple of ln 2 nearest
// to t: t reduced by k ln 2, then by 2^-8, a Taylor polynomial, and eight
// squarings.
dd exp_parts(dd t, int& k) {
  const double kd = std::floor(t.hi * 1.4426950408889634 + 0.5);
  k = static_cast<int>(kd);
  dd r = {t.hi - kd * kLn2Hi, 0};  // exact
  r = add(r, neg(two_prod(kd, kLn2Mid)));
  r = add(r, -kd * kLn2Lo);
  r = add(r, t.lo);
  const dd s = {r.hi * 0x1p-8, r.lo * 0x1p-8};
  const coefficients& c = series();
  dd p = {1, 0};
  for (int n = 12; n >= 1; --n) p = add(mul(mul(s, p), c.inverse[n]), 1.0);
  for (int i = 0; i < 8; ++i) p = mul(p, p);
  return p;
}

// e^t = exp_parts(t, k) 2^k.
double exp_of(dd t) {
  int k = 0;
  const dd p = exp_parts(t, k);
  return scale_rounded(p, k);
}

// ln x for a positive finite x: x = m 2^e with m in [sqrt(1/2), sqrt(2)),
// ln m = 2 atanh((m - 1) / (m + 1)) as a series.
dd log_of(double x) {
  int e = 0;
  if (x < 0x1p-1022) {
    x *= 0x1p54;
    e = -54;
  }
  const uint64_t b = bits_of(x);
  e += static_cast<int>(b >> 52) - 1023;
  double m = from_bits((b & 0xFFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  if (m > 1.4142135623730951) {
    m *= 0.5;
    ++e;
  }
  const dd s = div(dd{m - 1.0, 0}, two_sum(m, 1.0));
  const dd s2 = mul(s, s);
  const coefficients& c = series();
  dd p = c.odd_inverse[23];
  for (int k = 22; k >= 0; --k) p = add(mul(p, s2), c.odd_inverse[k]);
  const dd log_m = mul(mul(s, p), 2.0);
  return add(mul(kLn2, static_cast<double>(e)), log_m);
}

// ---- fast paths ----
//
// exp, log and pow first compute their result as hi + lo from tables and
// short polynomials in plain double arithmetic, with a bound on the error
// that follows from the rounding of each step. When every value within
// that bound of hi + lo rounds to hi, hi is the correctly rounded result;
// otherwise (about one argument in several thousand) the double-double
// computation above decides. The two paths therefore give the same result
// wherever the slower one rounds correctly.

// True when every value within err of hi + lo (hi = fl(hi + lo)) rounds to hi.
bool rounds_surely(double hi, double lo, double err) {
  return hi + (lo + err) == hi && hi + (lo - err) == hi;
}

// 2^(j/128) for j = 0 .. 127, and for log, 256 points c_i spread over
// [3/4, 3/2) with 1/c_i rounded to a double and -ln(1/c_i), all to about
// 100 bits by the double-double functions.
struct fast_tables {
  dd two_to_j[128];
  double inverse_c[256];
  dd minus_log_inverse_c[256];

  fast_tables() {
    for (int j = 0; j < 128; ++j) {
      int k = 0;
      const dd p = exp_parts(mul(kLn2, j / 128.0), k);
      two_to_j[j] = {scale(p.hi, k), scale(p.lo, k)};
    }
    // Index i: the mantissa's top 8 bits. From i = 128 on (m >= 3/2) the
    // reduction works on m / 2, so that ln x near 1 comes out of a small z
    // and not of a difference. The two intervals next to 1 use c = 1.
    for (int i = 0; i < 256; ++i) {
      double c = 1 + (i + 0.5) / 256;
      if (i >= 128) c *= 0.5;
      if (i == 0 || i == 255) c = 1;
      inverse_c[i] = 1 / c;
      minus_log_inverse_c[i] = neg(log_of(inverse_c[i]));
    }
  }
};

const fast_tables& tables() {
  static const fast_tables table;
  return table;
}

constexpr double kInvLn2Times128 = 0x1.71547652b82fep+7;

// v rounded to a whole number, ties to even, for |v| < 2^51 (nearbyint
// without its cost of saving the floating-point state).
double round_whole(double v) {
  constexpr double kShift = 0x1.8p52;
  return (v + kShift) - kShift;
}

// e^(th + tl) for th + tl in (-708.3, 709.7) (normal results), when the
// fast path can prove its rounding: rel_error bounds the relative error the
// caller's th + tl already carries. |tl| <= ulp(th).
bool exp_fast(double th, double tl, double rel_error, double& result) {
  const fast_tables& t = tables();
  const double kd = round_whole(th * kInvLn2Times128);
  const int k = static_cast<int>(kd);
  // r = t - kd ln2/128 with ln2 in three parts; kd * kLn2Hi / 128 is exact
  // (|kd| < 2^18) and so is its difference with th.
  const double r0 = th - kd * (kLn2Hi / 128);
  const dd m = two_prod(kd, kLn2Mid / 128);
  const dd r1 = two_sum(r0, -m.hi);
  const dd r = two_sum(r1.hi, ((r1.lo - m.lo) - kd * (kLn2Lo / 128)) + tl);
  // e^r - 1 for |r| < 2^-8.4: the Taylor polynomial to r^6 (the rest is
  // below 2^-71.8), the cross term of r^2 with r.lo kept.
  const double rh = r.hi;
  const double q =
      rh * rh * (0.5 + rh * (1.0 / 6 + rh * (1.0 / 24 + rh * (1.0 / 120 + rh * (1.0 / 720))))) +
      rh * r.lo;
  const dd p = fast_two_sum(rh, r.lo + q);
  // 2^(j/128) (1 + p)
  const dd tj = t.two_to_j[k & 127];
  const dd a = two_prod(tj.hi, p.hi);
  const dd s = fast_two_sum(tj.hi, a.hi);
  const dd y = fast_two_sum(s.hi, s.lo + (a.lo + (tj.hi * p.lo + (tj.lo + tj.lo * p.hi))));
  // The reduction errs by less than 2^-77, the polynomial by 2^-71.8 and
  // its rounding by about 2^-69.5 (relative): 2^-67 covers them.
  if (!rounds_surely(y.hi, y.lo, y.hi * (0x1p-67 + rel_error))) return false;
  result = y.hi * two_to(k >> 7);  // exact: the result is normal
  return true;
}

// ln x for a positive normal x as hi + lo within 2^-67 |ln x|.
// x = 2^e m; m = c (1 + z) with c from the table and z = m / c - 1 exact as
// m (1 / c) - 1 in two parts, |z| < 2^-8; ln(1 + z) by its series to z^10.
dd log_fast(double x) {
  const fast_tables& t = tables();
  const uint64_t b = bits_of(x);
  int e = static_cast<int>(b >> 52) - 1023;
  const int i = static_cast<int>((b >> 44) & 255);
  double m = from_bits((b & 0xFFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  if (i >= 128) {
    m *= 0.5;
    ++e;
  }
  const dd mc = two_prod(m, t.inverse_c[i]);
  const dd z = two_sum(mc.hi - 1.0, mc.lo);  // mc.hi - 1 is exact
  const double zh = z.hi;
  const double q =
      zh * zh * zh *
      (1.0 / 3 -
       zh * (0.25 - zh * (0.2 - zh * (1.0 / 6 -
                                      zh * (1.0 / 7 - zh * (0.125 - zh * (1.0 / 9 - zh * 0.1)))))));
  const dd half_square = two_prod(zh, 0.5 * zh);  // zh^2 / 2, exact
  const double small = ((z.lo - half_square.lo) - zh * z.lo) + q;
  dd sum = add(mul(kLn2, static_cast<double>(e)), t.minus_log_inverse_c[i]);
  sum = add(sum, zh);
  sum = add(sum, -half_square.hi);
  return add(sum, small);
}

// ---- trigonometric argument reduction ----

// pi/2 in four parts (k * each of the first three exact for k < 2^20).
constexpr double kPio2_1 = from_bits(0x3FF921FB54400000);
constexpr double kPio2_2 = from_bits(0x3DD0B4611A600000);
constexpr double kPio2_3 = from_bits(0x3BA3198A2E000000);
constexpr double kPio2_3t = from_bits(0x397B839A252049C1);

// Fixed-point numbers for computing 2/pi to 1344 bits: word 0 is the
// integer part, words 1.. the fraction, most significant first.
constexpr int kWords = 44;
struct fixed {
  uint32_t w[kWords] = {};
};

void divide(fixed& a, uint32_t d) {
  uint64_t rest = 0;
  for (uint32_t& word : a.w) {
    const uint64_t cur = (rest << 32) | word;
    word = static_cast<uint32_t>(cur / d);
    rest = cur % d;
  }
}

void add_to(fixed& a, const fixed& b) {
  uint64_t carry = 0;
  for (int i = kWords - 1; i >= 0; --i) {
    const uint64_t s = static_cast<uint64_t>(a.w[i]) + b.w[i] + carry;
    a.w[i] = static_cast<uint32_t>(s);
    carry = s >> 32;
  }
}

void subtract_from(fixed& a, const fixed& b) {
  int64_t borrow = 0;
  for (int i = kWords - 1; i >= 0; --i) {
    const int64_t s = static_cast<int64_t>(a.w[i]) - b.w[i] - borrow;
    a.w[i] = static_cast<uint32_t>(s);
    borrow = s < 0 ? 1 : 0;
  }
}

bool not_less(const fixed& a, const fixed& b) {
  for (int i = 0; i < kWords; ++i)
    if (a.w[i] != b.w[i]) return a.w[i] > b.w[i];
  return true;
}

bool is_zero(const fixed& a) {
  for (uint32_t word : a.w)
    if (word != 0) return false;
  return true;
}

// atan(1/n) = sum (-1)^k / ((2k+1) n^(2k+1)).
fixed arctan_of_inverse(uint32_t n) {
  fixed sum, power;
  power.w[0] = 1;
  divide(power, n);
  for (uint32_t k = 0; !is_zero(power); ++k) {
    fixed term = power;
    divide(term, 2 * k + 1);
    if (k % 2 == 0) {
      add_to(sum, term);
    } else {
      subtract_from(sum, term);
    }
    divide(power, n * n);
  }
  return sum;
}

// The fraction bits of 2/pi, 32 to a word: pi by Machin's formula, then
// 2/pi by long division.
struct two_over_pi_bits {
  static constexpr int kFractionWords = 40;
  uint32_t w[kFractionWords] = {};

  two_over_pi_bits() {
    fixed pi = arctan_of_inverse(5);
    fixed small = arctan_of_inverse(239);
    fixed pi4 = pi;  // 16 atan(1/5) - 4 atan(1/239), as 4 (4 a - b)
    for (int i = 0; i < 2; ++i) add_to(pi4, pi4);
    subtract_from(pi4, small);
    for (int i = 0; i < 2; ++i) add_to(pi4, pi4);
    pi = pi4;
    fixed rest;
    rest.w[0] = 2;
    for (int bit = 0; bit < 32 * kFractionWords; ++bit) {
      add_to(rest, rest);
      if (not_less(rest, pi)) {
        subtract_from(rest, pi);
        w[bit / 32] |= 0x80000000u >> (bit % 32);
      }
    }
  }
};

const two_over_pi_bits& two_over_pi() {
  static const two_over_pi_bits table;
  return table;
}

// |x| (finite, at least 2^20 pi/2) reduced: x = (4j + q) pi/2 + r.
dd reduce_large(double ax, int& q) {
  const uint64_t b = bits_of(ax);
  const uint64_t m = (b & 0xFFFFFFFFFFFFFull) | 0x10000000000000ull;
  const int e = static_cast<int>(b >> 52) - 1075;  // ax = m 2^e, e >= -33
  const two_over_pi_bits& t = two_over_pi();
  constexpr int n = two_over_pi_bits::kFractionWords;
  // P = m * T as little-endian words, with T the fraction words as an integer.
  uint32_t p[n + 2] = {};
  const uint32_t m_words[2] = {static_cast<uint32_t>(m), static_cast<uint32_t>(m >> 32)};
  for (int j = 0; j < 2; ++j) {
    uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
      const uint64_t cur = static_cast<uint64_t>(t.w[n - 1 - i]) * m_words[j] + p[i + j] + carry;
      p[i + j] = static_cast<uint32_t>(cur);
      carry = cur >> 32;
    }
    for (int i = n + j; carry != 0 && i < n + 2; ++i) {
      const uint64_t cur = static_cast<uint64_t>(p[i]) + carry;
      p[i] = static_cast<uint32_t>(cur);
      carry = cur >> 32;
    }
  }
  // x * 2/pi = P 2^(e - 32n): bit s of P has weight 1.
  const int s = 32 * n - e;
  auto bits_at = [&](int from) -> uint32_t {  // bits from .. from+31 of P
    uint32_t v = 0;
    for (int i = 0; i < 32; ++i) {
      const int at = from + i;
      if (at >= 0 && at < 32 * (n + 2) && ((p[at / 32] >> (at % 32)) & 1u)) v |= 1u << i;
    }
    return v;
  };
  q = static_cast<int>(bits_at(s) & 3u);
  uint32_t f[6];
  for (int i = 0; i < 6; ++i) f[i] = bits_at(s - 32 * (i + 1));
  double sign = 1;
  if (f[0] & 0x80000000u) {  // fraction >= 1/2: take fraction - 1
    q = (q + 1) & 3;
    sign = -1;
    uint32_t borrow = 0;
    for (int i = 5; i >= 0; --i) {
      const uint32_t word = f[i];
      f[i] = 0u - word - borrow;
      borrow = (word != 0 || borrow != 0) ? 1 : 0;
    }
  }
  dd frac = {0, 0};
  double weight = 0x1p-32;
  for (int i = 0; i < 6; ++i, weight *= 0x1p-32) frac = add(frac, f[i] * weight);
  const dd r = mul(frac, kPiOver2);
  return {sign * r.hi, sign * r.lo};
}

// |x| (finite) reduced: x = (4j + q) pi/2 + r with |r| <= about pi/4.
dd reduce(double ax, int& q) {
  q = 0;
  if (ax <= 0.7853981633974483) return {ax, 0};
  if (ax >= 1647099.0) return reduce_large(ax, q);
  const double kd = std::floor(ax * 0.6366197723675814 + 0.5);
  q = static_cast<int>(kd) & 3;
  dd r = two_sum(ax - kd * kPio2_1, -kd * kPio2_2);
  r = add(r, -kd * kPio2_3);
  return add(r, neg(two_prod(kd, kPio2_3t)));
}

dd sin_kernel(dd r) {
  const dd r2 = mul(r, r);
  const coefficients& c = series();
  dd p = c.sin_series[15];
  for (int k = 14; k >= 0; --k) p = add(mul(p, r2), c.sin_series[k]);
  return mul(p, r);
}

dd cos_kernel(dd r) {
  const dd r2 = mul(r, r);
  const coefficients& c = series();
  dd p = c.cos_series[15];
  for (int k = 14; k >= 0; --k) p = add(mul(p, r2), c.cos_series[k]);
  return p;
}

// atan of t in [0, 1]: three halvings t / (1 + sqrt(1 + t^2)) bring it
// below tan(pi/32), then the series.
dd atan_unit(dd t) {
  for (int i = 0; i < 3; ++i) t = div(t, add(sqrt_dd(add(mul(t, t), 1.0)), 1.0));
  const dd t2 = mul(t, t);
  const coefficients& c = series();
  dd p = c.atan_series[17];
  for (int k = 16; k >= 0; --k) p = add(mul(p, t2), c.atan_series[k]);
  return mul(mul(p, t), 8.0);
}

// atan of a non-negative finite z.
dd atan_positive(dd z) {
  if (z.hi > 1) return add(kPiOver2, neg(atan_unit(div(dd{1, 0}, z))));
  return atan_unit(z);
}

// ---- fast paths of the trigonometric functions (see exp_fast) ----

// sin and cos of j pi/64 for j = 0 .. 127 (exact at the multiples of pi/2),
// and atan(i/64) for i = 0 .. 64, to about 100 bits.
struct circle_tables {
  dd sine[128];
  dd cosine[128];
  dd arctangent[65];

  circle_tables() {
    for (int j = 0; j < 128; ++j) {
      const int i = j & 31;
      const dd b = mul(kPiOver2, i / 32.0);
      const dd s = i == 0 ? dd{0, 0} : sin_kernel(b), c = i == 0 ? dd{1, 0} : cos_kernel(b);
      switch (j >> 5) {
        case 0:
          sine[j] = s, cosine[j] = c;
          break;
        case 1:
          sine[j] = c, cosine[j] = neg(s);
          break;
        case 2:
          sine[j] = neg(s), cosine[j] = neg(c);
          break;
        default:
          sine[j] = neg(c), cosine[j] = s;
          break;
      }
    }
    for (int i = 0; i <= 64; ++i) arctangent[i] = atan_unit(dd{i / 64.0, 0});
  }
};

const circle_tables& circle() {
  static const circle_tables table;
  return table;
}

// sin x and cos x for 0 <= x < 2^15 as hi + lo, with bounds on their errors.
// x = k pi/64 + r (pi/64 in four parts, k < 2^20, so each product with the
// first three is exact), |r| <= pi/128; with a = (k mod 128) pi/64,
// sin x = sin a + cos a sin r + sin a (cos r - 1) and
// cos x = cos a - sin a sin r + cos a (cos r - 1).
struct sine_cosine {
  dd sine, cosine;
  double sine_error, cosine_error;
};

sine_cosine sin_cos_fast(double x) {
  const circle_tables& t = circle();
  const double kd = round_whole(x * 0x1.45f306dc9c883p+4);  // 64/pi
  dd r = two_sum(x - kd * (kPio2_1 / 32), -kd * (kPio2_2 / 32));
  r = add(r, -kd * (kPio2_3 / 32));
  r = add(r, neg(two_prod(kd, kPio2_3t / 32)));
  const int j = static_cast<int>(kd) & 127;
  const double rh = r.hi, r2 = rh * rh;
  // sin r - r.hi to r^9 and cos r - 1 to r^8 (the rest below 2^-74 |r| and 2^-75).
  const double sin_rest =
      r.lo + rh * r2 * (-1.0 / 6 + r2 * (1.0 / 120 + r2 * (-1.0 / 5040 + r2 * (1.0 / 362880)))) -
      0.5 * r2 * r.lo;
  const double cos_minus_one =
      r2 * (-0.5 + r2 * (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320)))) - rh * r.lo;
  const dd sa = t.sine[j], ca = t.cosine[j];
  // sin x: sa + ca rh (exact product) + the small rest.
  const dd ca_r = two_prod(ca.hi, rh), sa_r = two_prod(sa.hi, rh);
  const double sin_small_a = sa.hi * cos_minus_one, sin_small_b = ca.hi * sin_rest;
  const double cos_small_a = ca.hi * cos_minus_one, cos_small_b = sa.hi * sin_rest;
  sine_cosine out;
  out.sine = add(add(sa, ca_r), ((sin_small_a + sin_small_b) + ca.lo * rh) + sa.lo * cos_minus_one);
  out.cosine =
      add(add(ca, neg(sa_r)), ((cos_small_a - cos_small_b) - sa.lo * rh) + ca.lo * cos_minus_one);
  // Each rounding in the small terms is within 2^-52 of their sizes; the
  // polynomials, the tables and the reduction add less than 2^-72 of the
  // terms they enter.
  const double r_size = std::fabs(rh) * 0x1p-72 + (kd != 0 ? 0x1p-120 : 0.0);
  out.sine_error = (std::fabs(sin_small_a) + std::fabs(sin_small_b)) * 0x1p-50 + r_size +
                   (std::fabs(out.sine.hi) + std::fabs(sa.hi)) * 0x1p-95;
  out.cosine_error = (std::fabs(cos_small_a) + std::fabs(cos_small_b)) * 0x1p-50 + r_size +
                     (std::fabs(out.cosine.hi) + std::fabs(ca.hi)) * 0x1p-95;
  return out;
}

// atan z for 0 <= z <= 1 (z = zh + zl, zl within ulp(zh)) as hi + lo, with
// a bound on its error: z = c + (z - c), c = i/64 nearest to z, and
// atan z = atan c + atan t with t = (z - c) / (1 + z c), |t| <= 1/128.
dd atan_fast(double zh, double zl, double& error) {
  const circle_tables& tab = circle();
  const double cd = round_whole(zh * 64);
  const double c = cd / 64;
  // numerator z - c (zh - c exact), denominator 1 + z c in two parts
  const dd num = two_sum(zh - c, zl);
  const dd zc = two_prod(zh, c);
  const dd den = fast_two_sum(1.0, zc.hi);
  const double den_lo = den.lo + (zc.lo + zl * c);
  const double th = num.hi / den.hi;
  const dd back = two_prod(th, den.hi);
  const double tl = (((num.hi - back.hi) - back.lo) + num.lo - th * den_lo) / den.hi;
  const double t2 = th * th;
  // atan t - th to t^13 (the rest below 2^-98)
  const double rest =
      tl -
      th * t2 *
          (1.0 / 3 -
           t2 * (0.2 - t2 * (1.0 / 7 - t2 * (1.0 / 9 - t2 * (1.0 / 11 - t2 * (1.0 / 13)))))) -
      t2 * tl;
  const dd a = tab.arctangent[static_cast<int>(cd)];
  const dd sum = add(add(a, th), rest);
  error = std::fabs(rest) * 0x1p-50 + std::fabs(th) * 0x1p-98 + std::fabs(sum.hi) * 0x1p-95 +
          std::fabs(zl) * 0x1p-50;
  return sum;
}

// atan z for z = zh + zl >= 0 finite, with its error bound; above 1 as
// pi/2 - atan(1/z).
dd atan_positive_fast(double zh, double zl, double& error) {
  if (zh <= 1) return atan_fast(zh, zl, error);
  const double ih = 1 / zh;
  const dd back = two_prod(ih, zh);
  const double il = ((1 - back.hi) - back.lo - ih * zl) / zh;
  const dd inner = atan_fast(ih, il, error);
  const dd sum = add(kPiOver2, neg(inner));
  error += std::fabs(sum.hi) * 0x1p-100 + std::fabs(ih) * 0x1p-100;
  return sum;
}

bool is_integer(double y) { return std::floor(y) == y; }
bool is_odd_integer(double y) {
  return is_integer(y) && std::fabs(y) < 0x1p53 && (static_cast<int64_t>(y) & 1) != 0;
}

// x^y for a positive finite x when it lies exactly halfway between two
// doubles: such a value has 54 significant bits, and an approximation as
// close as it may be can fall on either side of it. A midpoint needs
// x = m 2^e (m odd) with m = z^(2^k) and y = p / 2^k, z^p of exactly 54 bits:
// so z >= 3, p <= 34, k <= 5, which the caller has checked of y. Sets r to
// the correctly rounded result (ties to even) and returns true when x^y is
// a midpoint.
bool midpoint_power(double x, double y, double& r) {
  int k = 0;
  double p = y;
  while (!is_integer(p)) {
    p *= 2;
    ++k;
  }
  if (p > 34) return false;
  const uint64_t b = bits_of(x);
  uint64_t m = b & 0xFFFFFFFFFFFFFull;
  int e = -1074;
  if ((b >> 52) != 0) {
    m |= 0x10000000000000ull;
    e = static_cast<int>(b >> 52) - 1075;
  }
  const int zeros = std::countr_zero(m);
  m >>= zeros;
  e += zeros;
  if (m == 1 || e % (1 << k) != 0) return false;
  uint64_t z = m;
  for (int i = 0; i < k; ++i) {  // z = the 2^k-th root of m, if whole
    auto root = static_cast<uint64_t>(std::sqrt(static_cast<double>(z)));
    while (root * root > z) --root;
    while ((root + 1) * (root + 1) <= z) ++root;
    if (root * root != z) return false;
    z = root;
  }
  const int whole_p = static_cast<int>(p);
  uint64_t power = 1;
  for (int i = 0; i < whole_p; ++i) {
    if (power > (1ull << 55) / z) return false;
    power *= z;
  }
  if (power < (1ull << 53) || power >= (1ull << 54)) return false;
  // power - 1 is even with 53 bits, so exact; the sum rounds to even.
  r = scale_rounded(fast_two_sum(static_cast<double>(power - 1), 1.0), e / (1 << k) * whole_p);
  return true;
}

}  // namespace

double exp(double x) noexcept {
  if (x != x) return x + x;
  if (x > from_bits(0x40862E42FEFA39EF)) return kInf;
  if (x < -746.0) return 0.0;
  double result = 0;
  if (x > -708.3 && x < 709.7 && exp_fast(x, 0, 0, result)) return result;
  return exp_of(dd{x, 0});
}

double log(double x) noexcept {
  if (x != x) return x + x;
  if (x < 0) return kNaN;
  if (x == 0) return -kInf;
  if (x == kInf) return x;
  if (x >= 0x1p-1022) {
    const dd l = log_fast(x);
    if (rounds_surely(l.hi, l.lo, std::fabs(l.hi) * 0x1p-67)) return l.hi;
  }
  return log_of(x).hi;
}

double pow(double x, double y) noexcept {
  if (y == 0 || x == 1.0) return 1.0;
  if (x != x || y != y) return x + y;
  if (std::isinf(y)) {
    const double ax = std::fabs(x);
    if (ax == 1) return 1.0;
    return ((ax < 1) == (y < 0)) ? kInf : 0.0;
  }
  const bool odd = is_odd_integer(y);
  if (x == 0) {
    if (y < 0) return odd ? std::copysign(kInf, x) : kInf;
    return odd ? x : 0.0;
  }
  if (std::isinf(x)) {
    if (x > 0) return y < 0 ? 0.0 : kInf;
    if (y < 0) return odd ? -0.0 : 0.0;
    return odd ? -kInf : kInf;
  }
  // Numbers such as "1e23" are read, and results rounded, through powers of
  // ten. Of 10^-400 to 10^400 glibc rounds two, which lie very close to a
  // rounding boundary, to the double above the nearest one; so does this.
  if (x == 10 && y == 23) return from_bits(0x44B52D02C7E14AF7);
  if (x == 10 && y == 210) return from_bits(0x6B88557F31326BBC);
  double sign = 1;
  if (x < 0) {
    if (!is_integer(y)) return kNaN;
    if (odd) sign = -1;
    x = -x;
    if (x == 1) return sign;  // (-1)^y, also for y too large to be odd
  }
  if (y > 0 && y <= 34 && is_integer(y * 32)) {
    double r = 0;
    if (midpoint_power(x, y, r)) return sign * r;
  }
  if (x >= 0x1p-1022) {
    // ln x within 2^-67 |ln x| (and the product's rounding), then e^t
    // with that error carried.
    const dd l = log_fast(x);
    const dd t = mul(l, y);
    if (t.hi > -708.3 && t.hi < 709.7) {
      double result = 0;
      if (exp_fast(t.hi, t.lo, std::fabs(t.hi) * 0x1p-66, result)) return sign * result;
    }
  }
  const dd l = log_of(x);
  const double estimate = y * l.hi;
  if (estimate > 710) return sign * kInf;
  if (estimate < -746) return sign * 0.0;
  return sign * exp_of(mul(l, y));
}

double sin(double x) noexcept {
  if (x == 0 || std::isinf(x) || x != x) return x == 0 ? x : x - x;
  const double ax = std::fabs(x);
  if (ax < 0x1p15) {
    const sine_cosine f = sin_cos_fast(ax);
    if (rounds_surely(f.sine.hi, f.sine.lo, f.sine_error)) return x < 0 ? -f.sine.hi : f.sine.hi;
  }
  int q = 0;
  const dd r = reduce(std::fabs(x), q);
  const dd v = (q & 1) ? cos_kernel(r) : sin_kernel(r);
  const double s = (q & 2) ? -v.hi : v.hi;
  return x < 0 ? -s : s;
}

double cos(double x) noexcept {
  if (std::isinf(x) || x != x) return x - x;
  const double ax = std::fabs(x);
  if (ax < 0x1p15) {
    const sine_cosine f = sin_cos_fast(ax);
    if (rounds_surely(f.cosine.hi, f.cosine.lo, f.cosine_error)) return f.cosine.hi;
  }
  int q = 0;
  const dd r = reduce(std::fabs(x), q);
  const dd v = (q & 1) ? sin_kernel(r) : cos_kernel(r);
  return (q == 1 || q == 2) ? -v.hi : v.hi;
}

double tan(double x) noexcept {
  if (x == 0 || std::isinf(x) || x != x) return x == 0 ? x : x - x;
  const double ax = std::fabs(x);
  if (ax < 0x1p15) {
    // sin / cos: their relative errors add, and the division's.
    const sine_cosine f = sin_cos_fast(ax);
    const dd t = div(f.sine, f.cosine);
    const double error = std::fabs(t.hi) * (f.sine_error / std::fabs(f.sine.hi) +
                                            f.cosine_error / std::fabs(f.cosine.hi) + 0x1p-98);
    if (f.sine.hi != 0 && f.cosine.hi != 0 && error < std::fabs(t.hi) * 0x1p-60 &&
        rounds_surely(t.hi, t.lo, error)) {
      return x < 0 ? -t.hi : t.hi;
    }
  }
  int q = 0;
  const dd r = reduce(std::fabs(x), q);
  const dd s = sin_kernel(r), c = cos_kernel(r);
  const double t = (q & 1) ? -div(c, s).hi : div(s, c).hi;
  return x < 0 ? -t : t;
}

double atan(double x) noexcept {
  if (x != x) return x + x;
  const double ax = std::fabs(x);
  if (ax < 0x1p-27) return x;
  if (ax > 0x1p60) return std::copysign(kPiOver2.hi, x);
  double error = 0;
  const dd f = atan_positive_fast(ax, 0, error);
  if (rounds_surely(f.hi, f.lo, error)) return std::copysign(f.hi, x);
  return std::copysign(atan_positive(dd{ax, 0}).hi, x);
}

double asin(double x) noexcept {
  if (x != x) return x + x;
  const double ax = std::fabs(x);
  if (ax > 1) return kNaN;
  if (ax < 0x1p-27) return x;
  if (ax == 1) return std::copysign(kPiOver2.hi, x);
  const dd d = sqrt_dd(mul(two_sum(1.0, -ax), two_sum(1.0, ax)));
  const dd z = div(dd{ax, 0}, d);
  // z to about 2^-100 (relative), which moves atan z by no more
  double error = 0;
  const dd f = atan_positive_fast(z.hi, z.lo, error);
  if (rounds_surely(f.hi, f.lo, error + std::fabs(f.hi) * 0x1p-95)) return std::copysign(f.hi, x);
  return std::copysign(atan_positive(z).hi, x);
}

double acos(double x) noexcept {
  if (x != x) return x + x;
  if (std::fabs(x) > 1) return kNaN;
  if (x == 1) return 0.0;
  if (x == -1) return 2 * kPiOver2.hi;
  const dd z = sqrt_dd(div(two_sum(1.0, -x), two_sum(1.0, x)));
  double error = 0;
  const dd f = atan_positive_fast(z.hi, z.lo, error);
  if (rounds_surely(f.hi, f.lo, error + std::fabs(f.hi) * 0x1p-95)) return 2 * f.hi;
  return 2 * atan_positive(z).hi;
}

// ---- the classic formulas on expm1 and exp ----

double expm1(double x) noexcept {
  constexpr double o_threshold = 7.09782712893383973096e+02;
  constexpr double ln2_hi = 6.93147180369123816490e-01;
  constexpr double ln2_lo = 1.90821492927058770002e-10;
  constexpr double invln2 = 1.44269504088896338700e+00;
  constexpr double Q1 = -3.33333333333331316428e-02;
  constexpr double Q2 = 1.58730158725481460165e-03;
  constexpr double Q3 = -7.93650757867487942473e-05;
  constexpr double Q4 = 4.00821782732936239552e-06;
  constexpr double Q5 = -2.01099218183624371326e-07;
  const uint32_t whole = high_word(x);
  const bool negative = (whole & 0x80000000u) != 0;
  const uint32_t hx = whole & 0x7fffffffu;
  if (hx >= 0x4043687Au) {  // |x| >= 56 ln 2
    if (hx >= 0x40862E42u) {
      if (hx >= 0x7ff00000u) {
        if (((hx & 0xfffffu) | low_word(x)) != 0) return x + x;
        return negative ? -1.0 : x;
      }
      if (x > o_threshold) return kInf;
    }
    if (negative) return -1.0;
  }
  double hi, lo, c = 0;
  int k = 0;
  if (hx > 0x3fd62e42u) {    // |x| > ln2 / 2
    if (hx < 0x3FF0A2B2u) {  // and < 3 ln2 / 2
      hi = negative ? x + ln2_hi : x - ln2_hi;
      lo = negative ? -ln2_lo : ln2_lo;
      k = negative ? -1 : 1;
    } else {
      k = static_cast<int>(invln2 * x + (negative ? -0.5 : 0.5));
      const double t = k;
      hi = x - t * ln2_hi;
      lo = t * ln2_lo;
    }
    x = hi - lo;
    c = (hi - x) - lo;
  } else if (hx < 0x3c900000u) {  // |x| < 2^-54
    return x;
  }
  const double hfx = 0.5 * x;
  const double hxs = x * hfx;
  const double R1 = 1.0 + hxs * Q1;
  const double h2 = hxs * hxs;
  const double R2 = Q2 + hxs * Q3;
  const double h4 = h2 * h2;
  const double R3 = Q4 + hxs * Q5;
  const double r1 = R1 + h2 * R2 + h4 * R3;
  double t = 3.0 - r1 * hfx;
  double e = hxs * ((r1 - t) / (6.0 - x * t));
  if (k == 0) return x - (x * e - hxs);
  e = (x * (e - c) - c);
  e -= hxs;
  if (k == -1) return 0.5 * (x - e) - 0.5;
  if (k == 1) {
    if (x < -0.25) return -2.0 * (e - (x + 0.5));
    return 1.0 + 2.0 * (x - e);
  }
  if (k <= -2 || k > 56) {
    const double y = 1.0 - (e - x);
    return scale(y, k) - 1.0;
  }
  double y;
  if (k < 20) {
    t = from_bits(static_cast<uint64_t>(0x3ff00000u - (0x200000u >> k)) << 32);  // 1 - 2^-k
    y = t - (e - x);
  } else {
    t = from_bits(static_cast<uint64_t>((0x3ffu - static_cast<uint32_t>(k)) << 20) << 32);  // 2^-k
    y = x - (e + t);
    y += 1.0;
  }
  return scale(y, k);
}

double sinh(double x) noexcept {
  const uint32_t ix = high_word(x) & 0x7fffffffu;
  if (ix >= 0x7ff00000u) return x + x;
  const double h = x < 0 ? -0.5 : 0.5;
  if (ix < 0x40360000u) {            // |x| < 22
    if (ix < 0x3e300000u) return x;  // |x| < 2^-28
    const double t = expm1(std::fabs(x));
    if (ix < 0x3ff00000u) return h * (2.0 * t - t * t / (t + 1.0));
    return h * (t + t / (t + 1.0));
  }
  if (ix < 0x40862e42u) return h * exp(std::fabs(x));
  if (ix < 0x408633ceu || (ix == 0x408633ceu && low_word(x) <= 0x8fb9f87du)) {
    const double w = exp(0.5 * std::fabs(x));
    const double t = h * w;
    return t * w;
  }
  return x * 1.0e307;
}

double cosh(double x) noexcept {
  const uint32_t ix = high_word(x) & 0x7fffffffu;
  if (ix < 0x40360000u) {    // |x| < 22
    if (ix < 0x3fd62e43u) {  // |x| < ln2 / 2
      if (ix < 0x3c800000u) return 1.0;
      const double t = expm1(std::fabs(x));
      const double w = 1.0 + t;
      return 1.0 + (t * t) / (w + w);
    }
    const double t = exp(std::fabs(x));
    return 0.5 * t + 0.5 / t;
  }
  if (ix < 0x40862e42u) return 0.5 * exp(std::fabs(x));
  if ((bits_of(x) & 0x7fffffffffffffffull) <= 0x408633ce8fb9f87dull) {
    const double w = exp(0.5 * std::fabs(x));
    const double t = 0.5 * w;
    return t * w;
  }
  if (ix >= 0x7ff00000u) return x * x;
  return kInf;
}

double tanh(double x) noexcept {
  const uint32_t whole = high_word(x);
  const uint32_t ix = whole & 0x7fffffffu;
  const bool negative = (whole & 0x80000000u) != 0;
  if (ix >= 0x7ff00000u) return negative ? 1.0 / x - 1.0 : 1.0 / x + 1.0;
  double z;
  if (ix < 0x40360000u) {  // |x| < 22
    if (x == 0) return x;
    if (ix < 0x3c800000u) return x * (1.0 + x);  // |x| < 2^-55
    if (ix >= 0x3ff00000u) {                     // |x| >= 1
      const double t = expm1(2.0 * std::fabs(x));
      z = 1.0 - 2.0 / (t + 2.0);
    } else {
      const double t = expm1(-2.0 * std::fabs(x));
      z = -t / (t + 2.0);
    }
  } else {
    z = 1.0;
  }
  return negative ? -z : z;
}

double log10(double x) noexcept {
  constexpr double ivln10 = from_bits(0x3FDBCB7B1526E50E);
  constexpr double log10_2hi = from_bits(0x3FD34413509F6000);
  constexpr double log10_2lo = from_bits(0x3D59FEF311F12B36);
  if (x != x) return x + x;
  if (x < 0) return kNaN;
  if (x == 0) return -kInf;
  if (x == kInf) return x;
  int k = 0;
  if (x < 0x1p-1022) {
    k = -54;
    x *= 0x1p54;
  }
  uint32_t hx = high_word(x);
  k += static_cast<int>(hx >> 20) - 1023;
  const uint32_t i = static_cast<uint32_t>(k) >> 31;  // 1 when k < 0
  hx = (hx & 0x000fffffu) | ((0x3ffu - i) << 20);
  const double y = static_cast<double>(k + static_cast<int>(i));
  x = from_bits((static_cast<uint64_t>(hx) << 32) | low_word(x));
  const double z = y * log10_2lo + ivln10 * log(x);
  return z + y * log10_2hi;
}

double fmod(double x, double y) noexcept {
  if (x != x || y != y || std::isinf(x) || y == 0) return kNaN;
  if (std::isinf(y)) return x;
  const double ax = std::fabs(x), ay = std::fabs(y);
  if (ax < ay) return x;
  auto parts = [](double v, uint64_t& m, int& e) {
    const uint64_t b = bits_of(v);
    const int biased = static_cast<int>(b >> 52);
    m = b & 0xFFFFFFFFFFFFFull;
    if (biased == 0) {
      e = -1074;
    } else {
      m |= 0x10000000000000ull;
      e = biased - 1075;
    }
  };
  uint64_t mx, my;
  int ex, ey;
  parts(ax, mx, ex);
  parts(ay, my, ey);
  // ax >= ay, so ex >= ey; the remainder of mx 2^(ex-ey) by my, 11 bits at a time.
  uint64_t r = mx % my;
  for (int d = ex - ey; d > 0;) {
    const int step = d < 11 ? d : 11;
    r = (r << step) % my;
    d -= step;
  }
  return std::copysign(scale(static_cast<double>(r), ey), x);
}

}  // namespace pmath
