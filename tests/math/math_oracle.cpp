// The engine's math functions against GNU MPFR's correctly rounded results.
//
//   math_oracle [COUNT [SEED]] [--plain]
//
// draws COUNT arguments per function (default 100000) from a mix of regions,
// ordinary ones and the hard ones (multiples of pi/2, huge and subnormal
// arguments, the overflow and underflow edges, arguments next to 1), and
// compares each of exp, log, pow, sin, cos, tan, asin, acos and atan bit for
// bit with MPFR's result rounded to nearest. It prints per function the
// count, the mismatches, the worst error in ulp and the first mismatching
// arguments, and beside them how many results of the C library differ from
// the engine's and from the correctly rounded ones. log10, expm1, sinh,
// cosh and tanh are not meant to be correctly rounded: their worst error
// is reported only. --plain draws from the ordinary regions alone. The exit
// status is 1 when a correctly rounded function missed.
#include <mpfr.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/portable_math.h"

namespace {

using rng = std::mt19937_64;
using mpfr_function = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

uint64_t bits_of(double x) { return std::bit_cast<uint64_t>(x); }
double from_bits(uint64_t b) { return std::bit_cast<double>(b); }

bool same(double a, double b) {
  return bits_of(a) == bits_of(b) || (std::isnan(a) && std::isnan(b));
}

// ---- argument regions ----

double uniform(rng& r, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(r);
}

// A random double of either sign whose binary exponent lies in [low, high]
// (subnormals for exponents below -1022), mantissa bits uniform.
double any_magnitude(rng& r, int low, int high, bool both_signs = true) {
  const int e = std::uniform_int_distribution<int>(low, high)(r);
  const uint64_t mantissa = r() & 0xFFFFFFFFFFFFFull;
  double x = e < -1022 ? from_bits(mantissa >> std::min(52, -1022 - e))
                       : from_bits((static_cast<uint64_t>(e + 1023) << 52) | mantissa);
  if (x == 0) x = from_bits(1);
  return both_signs && (r() & 1) ? -x : x;
}

// x moved by up to `spread` ulps either way.
double nudge(rng& r, double x, int spread) {
  const int64_t step = std::uniform_int_distribution<int64_t>(-spread, spread)(r);
  if (x == 0) return from_bits(static_cast<uint64_t>(std::llabs(step)));
  const uint64_t b = bits_of(x);
  return from_bits(b + static_cast<uint64_t>(step));
}

// 1 + d or 1 - d with d of 2^-1 .. 2^-53.
double next_to_one(rng& r) {
  const double d = any_magnitude(r, -53, -1, false);
  return (r() & 1) ? 1 + d : 1 - d;
}

// A double next to n pi/2 for a random whole n below 2^bits.
double near_half_pi(rng& r, int bits, int spread) {
  const int b = std::uniform_int_distribution<int>(1, bits)(r);
  const double n = static_cast<double>(r() >> (64 - b)) + 1;
  const double x = n * 1.5707963267948966;
  const double x2 = (r() & 1) ? x : n * 1.5707963267948966 + 6.123233995736766e-17 * n;
  return nudge(r, (r() & 1) ? x2 : -x2, spread);
}

// Doubles known to be very close to a multiple of pi/2, the hardest to
// reduce, and their neighbours.
const double kHardTrigonometric[] = {
    0x1.6ac5b262ca1ffp+849, 0x1.8dd0d33f7ab14p+52,   0x1.921fb54442d18p+0, 0x1.921fb54442d18p+1,
    0x1.2d97c7f3321d2p+2,   0x1.921fb54442d18p+2,    0x1.f6a7a2955385ep+2, 0x1.c463abeccb2bbp+4,
    0x1.6a3f4c5e2d1c7p+22,  0x1.fffffffffffffp+1023, 0x1.0p+1023,          0x1.55f1bcfa7b55cp+26,
};

struct draw {
  double x, y;
};

using region = std::function<draw(rng&)>;

draw one(double x) { return {x, 0}; }

// pow arguments whose result lands near 2^target (y log2 x about target).
draw pow_toward(rng& r, double target) {
  double x = std::exp2(uniform(r, -60, 60));
  if (std::fabs(std::log2(x)) < 1e-3) x = 3.5;
  double y = target / std::log2(x);
  y *= 1 + uniform(r, -1, 1) * std::exp2(-std::uniform_int_distribution<int>(20, 52)(r));
  return {x, y};
}

std::vector<region> regions_for(const std::string& name, bool plain) {
  std::vector<region> v;
  auto add = [&](bool hard, region f) {
    if (!hard || !plain) v.push_back(std::move(f));
  };
  if (name == "exp" || name == "expm1") {
    add(false, [](rng& r) { return one(uniform(r, -745.2, 709.8)); });
    add(false, [](rng& r) { return one(uniform(r, -20, 20)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, 0)); });
    add(true, [](rng& r) { return one(nudge(r, 0x1.62e42fefa39efp+9, 1 << 20)); });  // overflow
    add(true, [](rng& r) { return one(uniform(r, -745.2, -708.3)); });  // subnormal results
    add(true, [](rng& r) { return one(nudge(r, -0x1.74910d52d3051p+9, 1 << 20)); });  // to zero
    add(true, [](rng& r) { return one(nudge(r, -0x1.6232bdd7abcd2p+9, 1 << 20)); });  // 2^-1022
  } else if (name == "log" || name == "log10") {
    add(false, [](rng& r) { return one(uniform(r, 0, 1000)); });
    add(false, [](rng& r) { return one(std::fabs(any_magnitude(r, -1022, 1023))); });
    add(true, [](rng& r) { return one(std::fabs(any_magnitude(r, -1074, -1023))); });
    add(true, [](rng& r) { return one(next_to_one(r)); });
    add(true, [](rng& r) { return one(uniform(r, 0.7, 1.5)); });
  } else if (name == "pow") {
    add(false, [](rng& r) { return draw{uniform(r, 0, 50), uniform(r, -60, 60)}; });
    add(false, [](rng& r) { return draw{std::exp2(uniform(r, -30, 30)), uniform(r, -30, 30)}; });
    add(false, [](rng& r) {  // whole exponents, negative bases
      return draw{uniform(r, -100, 100), std::round(uniform(r, -150, 150))};
    });
    add(true, [](rng& r) {  // half-integer exponents
      return draw{std::exp2(uniform(r, -40, 40)), std::round(uniform(r, -100, 100)) + 0.5};
    });
    add(true, [](rng& r) {
      return draw{next_to_one(r), uniform(r, -1, 1) * std::exp2(uniform(r, 0, 60))};
    });
    add(true, [](rng& r) { return draw{uniform(r, 0, 4), next_to_one(r)}; });
    add(true, [](rng& r) { return pow_toward(r, 1024); });
    add(true, [](rng& r) { return pow_toward(r, -1022); });
    add(true, [](rng& r) { return pow_toward(r, uniform(r, -1075, -1022)); });
    add(true, [](rng& r) { return pow_toward(r, -1075); });
    add(true, [](rng& r) {
      return draw{std::fabs(any_magnitude(r, -1074, -1023)), uniform(r, 0, 1.2)};
    });
    add(true, [](rng& r) {  // small whole numbers to whole powers: exact results and midpoints
      const double x = std::round(uniform(r, -40, 40));
      return draw{x, std::round(uniform(r, -40, 40))};
    });
    add(true, [](rng& r) {
      return draw{-std::exp2(uniform(r, -20, 20)), std::round(uniform(r, -2000, 2000))};
    });
  } else if (name == "sin" || name == "cos" || name == "tan") {
    add(false, [](rng& r) { return one(uniform(r, -10, 10)); });
    add(false, [](rng& r) { return one(uniform(r, -1000, 1000)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, -20)); });
    add(true, [](rng& r) { return one(near_half_pi(r, 20, 4)); });
    add(true, [](rng& r) { return one(near_half_pi(r, 62, 4)); });
    add(true, [](rng& r) { return one(any_magnitude(r, 20, 1023)); });  // up to 1.8e308
    add(true, [](rng& r) { return one(any_magnitude(r, -20, 20)); });
    add(true, [](rng& r) {
      const double x = kHardTrigonometric[r() % std::size(kHardTrigonometric)];
      return one(nudge(r, (r() & 1) ? x : -x, 64));
    });
  } else if (name == "asin" || name == "acos") {
    add(false, [](rng& r) { return one(uniform(r, -1, 1)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, -1)); });
    add(true, [](rng& r) {
      const double d = next_to_one(r);
      return one(d > 1 ? (2 - d) * ((r() & 1) ? 1 : -1) : ((r() & 1) ? d : -d));
    });
    add(true, [](rng& r) { return one(nudge(r, (r() & 1) ? 0.5 : -0.5, 1 << 24)); });
  } else if (name == "atan") {
    add(false, [](rng& r) { return one(uniform(r, -50, 50)); });
    add(false, [](rng& r) { return one(uniform(r, -2, 2)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, 1023)); });
    add(true, [](rng& r) { return one(any_magnitude(r, 20, 1023)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, -20)); });
    add(true, [](rng& r) {
      const double d = next_to_one(r);
      return one((r() & 1) ? d : -d);
    });
  } else if (name == "sinh" || name == "cosh") {
    add(false, [](rng& r) { return one(uniform(r, -30, 30)); });
    add(false, [](rng& r) { return one(uniform(r, -711, 711)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, 3)); });
  } else if (name == "tanh") {
    add(false, [](rng& r) { return one(uniform(r, -25, 25)); });
    add(true, [](rng& r) { return one(any_magnitude(r, -1074, 3)); });
  }
  return v;
}

// ---- the functions ----

struct function_info {
  const char* name;
  double (*own1)(double) noexcept;
  double (*own2)(double, double) noexcept;
  double (*library1)(double);
  double (*library2)(double, double);
  mpfr_function reference1;
  bool rounded;  // meant to be correctly rounded
};

double c_exp(double x) { return std::exp(x); }
double c_log(double x) { return std::log(x); }
double c_pow(double x, double y) { return std::pow(x, y); }
double c_sin(double x) { return std::sin(x); }
double c_cos(double x) { return std::cos(x); }
double c_tan(double x) { return std::tan(x); }
double c_asin(double x) { return std::asin(x); }
double c_acos(double x) { return std::acos(x); }
double c_atan(double x) { return std::atan(x); }
double c_log10(double x) { return std::log10(x); }
double c_expm1(double x) { return std::expm1(x); }
double c_sinh(double x) { return std::sinh(x); }
double c_cosh(double x) { return std::cosh(x); }
double c_tanh(double x) { return std::tanh(x); }

const function_info kFunctions[] = {
    {"exp", pmath::exp, nullptr, c_exp, nullptr, mpfr_exp, true},
    {"log", pmath::log, nullptr, c_log, nullptr, mpfr_log, true},
    {"pow", nullptr, pmath::pow, nullptr, c_pow, nullptr, true},
    {"sin", pmath::sin, nullptr, c_sin, nullptr, mpfr_sin, true},
    {"cos", pmath::cos, nullptr, c_cos, nullptr, mpfr_cos, true},
    {"tan", pmath::tan, nullptr, c_tan, nullptr, mpfr_tan, true},
    {"asin", pmath::asin, nullptr, c_asin, nullptr, mpfr_asin, true},
    {"acos", pmath::acos, nullptr, c_acos, nullptr, mpfr_acos, true},
    {"atan", pmath::atan, nullptr, c_atan, nullptr, mpfr_atan, true},
    {"log10", pmath::log10, nullptr, c_log10, nullptr, mpfr_log10, false},
    {"expm1", pmath::expm1, nullptr, c_expm1, nullptr, mpfr_expm1, false},
    {"sinh", pmath::sinh, nullptr, c_sinh, nullptr, mpfr_sinh, false},
    {"cosh", pmath::cosh, nullptr, c_cosh, nullptr, mpfr_cosh, false},
    {"tanh", pmath::tanh, nullptr, c_tanh, nullptr, mpfr_tanh, false},
};

// The engine's number reader takes these two powers of ten as glibc rounds
// them (one ulp above the nearest; 10^23 lies exactly halfway), so that
// reading "1e23" gives what it always gave. They are counted apart.
bool is_kept_power_of_ten(const function_info& f, const draw& d) {
  return f.own2 != nullptr && d.x == 10 && (d.y == 23 || d.y == 210);
}

// MPFR values at double precision and range: results rounded once to
// nearest, subnormals included.
struct reference {
  mpfr_t x, y, r, exact, diff;
  reference() {
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_inits2(53, x, y, r, static_cast<mpfr_ptr>(nullptr));
    mpfr_inits2(256, exact, diff, static_cast<mpfr_ptr>(nullptr));
  }
  ~reference() { mpfr_clears(x, y, r, exact, diff, static_cast<mpfr_ptr>(nullptr)); }

  int apply(const function_info& f, mpfr_ptr out, const draw& d) {
    mpfr_set_d(x, d.x, MPFR_RNDN);
    if (f.own2 != nullptr) {
      mpfr_set_d(y, d.y, MPFR_RNDN);
      return mpfr_pow(out, x, y, MPFR_RNDN);
    }
    return f.reference1(out, x, MPFR_RNDN);
  }

  double rounded(const function_info& f, const draw& d) {
    int t = apply(f, r, d);
    t = mpfr_check_range(r, t, MPFR_RNDN);
    mpfr_subnormalize(r, t, MPFR_RNDN);
    return mpfr_get_d(r, MPFR_RNDN);
  }

  // |value - exact| in units of the double ulp at the exact value.
  double ulp_error(const function_info& f, const draw& d, double value) {
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    const double error = measure(f, d, value);
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    return error;
  }

  double measure(const function_info& f, const draw& d, double value) {
    apply(f, exact, d);
    if (mpfr_nan_p(exact)) return std::isnan(value) ? 0 : INFINITY;
    if (mpfr_inf_p(exact) || std::isnan(value)) {
      return mpfr_inf_p(exact) && std::isinf(value) && (value > 0) == (mpfr_sgn(exact) > 0)
                 ? 0
                 : INFINITY;
    }
    if (std::isinf(value)) {
      // Infinity is the rounding of everything from 2^1024 (1 - 2^-54) on;
      // below, the error is measured from 2^1024.
      if ((value > 0) != (mpfr_sgn(exact) > 0)) return INFINITY;
      mpfr_set_si_2exp(diff, 1, 1024, MPFR_RNDN);
      if (value > 0) {
        mpfr_sub(diff, diff, exact, MPFR_RNDN);
      } else {
        mpfr_add(diff, diff, exact, MPFR_RNDN);
      }
      if (mpfr_cmp_si_2exp(diff, 1, 1024 - 54) <= 0) return 0;
      mpfr_mul_2si(diff, diff, -971, MPFR_RNDN);
      return mpfr_get_d(diff, MPFR_RNDN);
    }
    mpfr_set_d(diff, value, MPFR_RNDN);
    mpfr_sub(diff, diff, exact, MPFR_RNDN);
    long e = mpfr_zero_p(exact) ? -1074 : std::max<long>(mpfr_get_exp(exact) - 53, -1074);
    if (e > 971) e = 971;  // beyond the largest double: its ulp
    mpfr_mul_2si(diff, diff, -e, MPFR_RNDN);
    return std::fabs(mpfr_get_d(diff, MPFR_RNDN));
  }
};

struct outcome {
  long count = 0, mismatches = 0, kept = 0, library_differs = 0, library_wrong = 0;
  double worst = 0;
  draw worst_at{};
  std::vector<std::pair<draw, std::pair<double, double>>> first;  // argument, (own, correct)
};

outcome run(const function_info& f, long count, uint64_t seed, bool plain) {
  reference ref;
  outcome out;
  rng r(seed);
  const std::vector<region> regions = regions_for(f.name, plain);
  // Inexact functions: their worst error over a tenth of the draws.
  const long n = f.rounded ? count : std::max(1L, count / 10);
  for (long i = 0; i < n; ++i) {
    const draw d = regions[static_cast<size_t>(i) % regions.size()](r);
    const double own = f.own2 ? f.own2(d.x, d.y) : f.own1(d.x);
    const double library = f.library2 ? f.library2(d.x, d.y) : f.library1(d.x);
    const double correct = ref.rounded(f, d);
    ++out.count;
    if (!same(library, own)) ++out.library_differs;
    if (!same(library, correct)) ++out.library_wrong;
    if (!f.rounded) {
      const double e = ref.ulp_error(f, d, own);
      if (e > out.worst) out.worst = e, out.worst_at = d;
      if (!same(own, correct)) ++out.mismatches;
      continue;
    }
    if (same(own, correct)) continue;
    if (is_kept_power_of_ten(f, d)) {
      ++out.kept;
      continue;
    }
    ++out.mismatches;
    const double e = ref.ulp_error(f, d, own);
    if (e > out.worst) out.worst = e, out.worst_at = d;
    if (out.first.size() < 5) out.first.push_back({d, {own, correct}});
  }
  mpfr_free_cache();
  return out;
}

std::string argument_text(const function_info& f, const draw& d) {
  char text[96];
  if (f.own2 != nullptr) {
    std::snprintf(text, sizeof text, "%a, %a", d.x, d.y);
  } else {
    std::snprintf(text, sizeof text, "%a", d.x);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  long count = 100000;
  uint64_t seed = 1;
  bool plain = false;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plain") == 0) {
      plain = true;
    } else if (positional++ == 0) {
      count = std::strtol(argv[i], nullptr, 10);
    } else {
      seed = std::strtoull(argv[i], nullptr, 10);
    }
  }
  constexpr size_t kCount = std::size(kFunctions);
  std::vector<outcome> results(kCount);
  std::atomic<size_t> next{0};
  const unsigned threads = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (size_t i; (i = next++) < kCount;)
        results[i] = run(kFunctions[i], count, seed * 1000003 + i, plain);
    });
  }
  for (std::thread& w : workers) w.join();

  std::printf("%-6s %10s %10s %10s  %10s %10s\n", "", "arguments", "missed", "worst ulp",
              "libc!=own", "libc miss");
  bool failed = false;
  for (size_t i = 0; i < kCount; ++i) {
    const function_info& f = kFunctions[i];
    const outcome& o = results[i];
    if (!f.rounded && i > 0 && kFunctions[i - 1].rounded)
      std::printf("not correctly rounded (worst error only):\n");
    std::printf("%-6s %10ld %10ld %10.3f  %10ld %10ld", f.name, o.count, o.mismatches, o.worst,
                o.library_differs, o.library_wrong);
    if (!f.rounded) std::printf("   worst at %s", argument_text(f, o.worst_at).c_str());
    if (o.kept != 0) std::printf("   (%ld kept powers of ten)", o.kept);
    std::printf("\n");
    for (const auto& [d, values] : o.first) {
      std::printf("    %s(%s) = %a, correctly rounded %a\n", f.name, argument_text(f, d).c_str(),
                  values.first, values.second);
    }
    if (f.rounded && o.mismatches != 0) failed = true;
  }
  return failed ? 1 : 0;
}
