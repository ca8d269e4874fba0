#include "expr/math_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;

// Infinities and NaN must match exactly; finite values up to a few ulps,
// since the helpers go through the platform's atan, log and sqrt.
void expect_close(double expected, double actual) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << actual;
  } else if (std::isinf(expected)) {
    EXPECT_EQ(expected, actual);
  } else {
    EXPECT_NEAR(expected, actual, 1e-13 * std::max(1.0, std::fabs(expected)));
  }
}

struct UnaryCase {
  const char* name;
  double (*fn)(double) noexcept;
  double x;
  double expected;
};

const UnaryCase kUnaryCases[] = {
    {"SgnZero", zmath::sgn, 0.0, 0.0},
    {"SgnNegativeZero", zmath::sgn, -0.0, 0.0},
    {"SgnNegative", zmath::sgn, -3.0, -1.0},
    {"SgnPositive", zmath::sgn, 0.5, 1.0},
    {"SgnNaN", zmath::sgn, std::nan(""), -1.0},
    {"AsecTwo", zmath::asec, 2.0, std::atan(2.0 / std::sqrt(3.0))},
    {"AsecMinusTwo", zmath::asec, -2.0, std::atan(-2.0 / std::sqrt(3.0)) - kPi * 0.5},
    {"AcscMinusTwo", zmath::acsc, -2.0, std::atan(-2.0 / std::sqrt(3.0)) - kPi},
    {"AcscTwo", zmath::acsc, 2.0, std::atan(2.0 / std::sqrt(3.0))},
    {"AcotOne", zmath::acot, 1.0, 3.0 * kPi / 4.0},
    {"AcotZero", zmath::acot, 0.0, kPi * 0.5},
    {"SecZero", zmath::sec, 0.0, 1.0},
    {"CscZero", zmath::csc, 0.0, kInf},
    {"CotPiQuarter", zmath::cot, kPi / 4.0, 1.0},
    {"CothZero", zmath::coth, 0.0, kInf},
    {"SechZero", zmath::sech, 0.0, 1.0},
    {"CschOne", zmath::csch, 1.0, 1.0 / std::sinh(1.0)},
    {"AsinhZero", zmath::asinh, 0.0, 0.0},
    {"AsinhOne", zmath::asinh, 1.0, std::log(1.0 + std::sqrt(2.0))},
    {"AcoshOne", zmath::acosh, 1.0, 0.0},
    {"AcoshBelowDomain", zmath::acosh, 0.5, std::nan("")},
    {"AtanhHalf", zmath::atanh, 0.5, std::log(3.0) * 0.5},
    {"AtanhOne", zmath::atanh, 1.0, kInf},
    {"AcschOne", zmath::acsch, 1.0, std::log(std::sqrt(2.0) + 1.0)},
    {"AcschMinusOne", zmath::acsch, -1.0, -std::log(std::sqrt(2.0) + 1.0)},
    {"AsechHalf", zmath::asech, 0.5, std::log((std::sqrt(0.75) + 1.0) / 0.5)},
    {"AsechTwo", zmath::asech, 2.0, std::nan("")},
    {"AcothThree", zmath::acoth, 3.0, std::log(2.0) * 0.5},
};

class MathHelpersUnary : public ::testing::TestWithParam<UnaryCase> {};

TEST_P(MathHelpersUnary, Value) {
  const UnaryCase& c = GetParam();
  expect_close(c.expected, c.fn(c.x));
}

INSTANTIATE_TEST_SUITE_P(Helpers, MathHelpersUnary, ::testing::ValuesIn(kUnaryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MathHelpers, SgnOfNegativeZeroIsPositiveZero) { EXPECT_FALSE(std::signbit(zmath::sgn(-0.0))); }

struct RoundCase {
  const char* name;
  double x;
  double step;
  double expected;
};

const RoundCase kRoundCases[] = {
    {"HalfUp", 2.5, 0, 3},
    {"HalfAwayFromZeroNegative", -2.5, 0, -3},
    {"BelowHalf", 2.49, 0, 2},
    {"DownToStep", 7, 5, 5},
    {"HalfStepUp", 7.5, 5, 10},
    {"FractionalStep", 0.123, 0.05, 0.1},
    {"HalfStep", 7.3, 0.5, 7.5},
    {"NegativeStep", 7, -2, 8},
    {"NegativeValueNegativeStep", -7, -2, -8},
    {"NegativeValue", -7.3, 0.5, -7.5},
};

class MathHelpersRound : public ::testing::TestWithParam<RoundCase> {};

TEST_P(MathHelpersRound, RoundMultiple) {
  const RoundCase& c = GetParam();
  EXPECT_DOUBLE_EQ(c.expected, zmath::round_multiple(c.x, c.step));
}

INSTANTIATE_TEST_SUITE_P(Helpers, MathHelpersRound, ::testing::ValuesIn(kRoundCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MathHelpers, Factorial) {
  EXPECT_EQ(1.0, zmath::factorial(0));
  EXPECT_EQ(1.0, zmath::factorial(-4));
  EXPECT_EQ(1.0, zmath::factorial(INT32_MIN));
  EXPECT_EQ(120.0, zmath::factorial(5));
  EXPECT_TRUE(std::isfinite(zmath::factorial(170)));
  EXPECT_EQ(kInf, zmath::factorial(171));
  // Must return at once rather than multiply two billion times.
  EXPECT_EQ(kInf, zmath::factorial(INT32_MAX));
}

TEST(MathHelpers, LogBase) {
  expect_close(3.0, zmath::log_base(8, 2));
  EXPECT_EQ(kInf, zmath::log_base(8, 1));
}

}  // namespace
