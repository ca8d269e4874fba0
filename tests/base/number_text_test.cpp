#include "base/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "test_support.h"
#include "value/alg_value.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename Case>
std::string case_name(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// Same double, with every NaN counting as the same.
bool same_real(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

// ---- text_to_int ------------------------------------------------------------

struct int_read_case {
  const char* name;
  std::string text;
  int32_t value;
  uint32_t consumed;
};

const int_read_case kIntReads[] = {
    {"StopsAtLetter", "12a", 12, 2},
    {"StopsAtPoint", "1.5", 1, 1},
    {"SpaceInSign", "- 5", -5, 3},
    {"MinusPairCancels", "--5", 5, 3},
    {"OddMinusRun", "---5", -5, 4},
    {"Plus", "+7", 7, 2},
    {"MixedSigns", "-+-5", 5, 4},
    {"NoNumber", "abc", 0, 0},
    {"Empty", "", 0, 0},
    {"SignOnly", "-", 0, 1},
    {"EnDash", kDash + "5", -5, 2},
    {"SpaceAfterDigitEnds", "12 34", 12, 2},
    {"SignAfterDigitEnds", "3-4", 3, 1},
    {"LongDigitsWrap", "99999999999", 1215752191, 11},
    {"TwoToThe32WrapsToZero", "4294967296", 0, 10},
    {"MostNegative", "-2147483648", INT32_MIN, 11},
    {"OnePastMaxWraps", "2147483648", INT32_MIN, 10},
    {"NegatedLongDigitsWrap", "-99999999999", -1215752191, 12},
};

class TextToInt : public testing::TestWithParam<int_read_case> {};

TEST_P(TextToInt, ValueAndConsumed) {
  const int_read_case& c = GetParam();
  uint32_t consumed = 12345;
  EXPECT_EQ(text_to_int(S(c.text), &consumed), c.value);
  EXPECT_EQ(consumed, c.consumed);
  EXPECT_EQ(text_to_int(S(c.text)), c.value);  // consumed is optional
}

INSTANTIATE_TEST_SUITE_P(Cases, TextToInt, testing::ValuesIn(kIntReads), case_name<int_read_case>);

// ---- text_to_real -----------------------------------------------------------

struct real_read_case {
  const char* name;
  std::string text;
  double value;
  uint32_t consumed;
};

const real_read_case kRealReads[] = {
    {"SecondPointEnds", "1.2.3", 1.2, 3},
    {"NegativeExponent", "1e-3", 0.001, 4},
    {"UpperCaseExponent", "1E5", 100000, 3},
    {"PointInExponentEnds", "1e5.5", 100000, 3},
    {"LeadingPoint", ".5", 0.5, 2},
    {"SpaceAfterDigitEnds", "1 000", 1, 1},
    {"EmptyExponent", "1e", 1, 2},
    {"AccumulatedWeights", "3.14159", 3.1415900000000003, 7},
    {"NoNumber", "abc", 0, 0},
    {"EnDash", kDash + "2.5", -2.5, 4},
    {"MinusPairCancels", "--2.5", 2.5, 5},
    {"SignedExponent", "-1.5e+2", -150, 7},
    {"ExponentWithoutMantissa", "e5", 0, 2},
    {"TrailingPoint", "7.", 7, 2},
    {"Inf", "inf", kInf, 3},
    {"InfAnyCase", "InF", kInf, 3},
    {"MinusInf", "-inf", -kInf, 4},
    {"EnDashInf", kDash + "inf", -kInf, 4},
    {"MinusPairInf", "--inf", kInf, 5},
    {"PlusInf", "+inf", kInf, 4},
    {"NaN", "nan", kNaN, 3},
    {"NaNAnyCase", "NaN", kNaN, 3},
    {"MinusNaN", "-nan", kNaN, 4},
    {"PrefixOfInf", "in", 0, 0},
    {"LetterI", "i", 0, 0},
    {"InfFollowedByLetter", "info", 0, 0},
    {"Infinity", "infinity", 0, 0},
    {"InfFollowedByDigit", "inf1", 0, 0},
    {"DigitBeforeInf", "1inf", 1, 1},
    {"SignBeforeIn", "-in", -0.0, 1},
    {"OverlongDigitsAreInfinite", "1" + std::string(400, '0'), kInf, 401},
};

class TextToReal : public testing::TestWithParam<real_read_case> {};

TEST_P(TextToReal, ValueAndConsumed) {
  const real_read_case& c = GetParam();
  uint32_t consumed = 12345;
  const double value = text_to_real(S(c.text), &consumed);
  EXPECT_TRUE(same_real(value, c.value)) << value << " instead of " << c.value;
  EXPECT_EQ(consumed, c.consumed);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextToReal, testing::ValuesIn(kRealReads),
                         case_name<real_read_case>);

TEST(TextToReal, AccumulatesRatherThanParsing) {
  // The nearest double to 3.14159 is one unit below what the engine reads.
  EXPECT_NE(text_to_real("3.14159"), 3.14159);
}

// ---- hex and integer text ---------------------------------------------------

struct text_case {
  const char* name;
  alg_string (*make)();
  std::string expected;
};

const text_case kIntTexts[] = {
    {"Zero", [] { return int_to_text(0, false); }, "0"},
    {"ZeroNeverDashed", [] { return int_to_text(0, true); }, "0"},
    {"Negative", [] { return int_to_text(-5, false); }, "-5"},
    {"NegativeDashed", [] { return int_to_text(-5, true); }, kDash + "5"},
    {"Max", [] { return int_to_text(INT32_MAX, false); }, "2147483647"},
    {"MostNegative", [] { return int_to_text(INT32_MIN, false); }, "-2147483648"},
    {"HexByte", [] { return int_to_hex(255, 2); }, "FF"},
    {"HexPadded", [] { return int_to_hex(10, 2); }, "0A"},
    {"HexZeroNoWidth", [] { return int_to_hex(0, 0); }, "0"},
    {"HexNegativeAsUnsigned", [] { return int_to_hex(-1, 0); }, "FFFFFFFF"},
    {"HexCutToWidth", [] { return int_to_hex(0x1FF, 2); }, "1F"},
    {"HexWide", [] { return int_to_hex(0xAB, 6); }, "0000AB"},
};

class IntText : public testing::TestWithParam<text_case> {};

TEST_P(IntText, Writes) { EXPECT_EQ(B(GetParam().make()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, IntText, testing::ValuesIn(kIntTexts), case_name<text_case>);

TEST(HexToInt, Reads) {
  EXPECT_EQ(hex_to_int("ff"), 255);
  EXPECT_EQ(hex_to_int("1g"), 16);  // the 'g' takes a digit place
  EXPECT_EQ(hex_to_int("FFFFFFFF"), -1);
  EXPECT_EQ(hex_to_int("100000000"), 0);
  EXPECT_EQ(hex_to_int(S(std::string("A\0F", 3))), 10);  // cut at the NUL
  EXPECT_EQ(hex_to_int(""), 0);
}

// ---- round_to ---------------------------------------------------------------

TEST(RoundTo, HalfAwayFromZero) {
  EXPECT_EQ(round_to(2.5, 0), 3);
  EXPECT_EQ(round_to(-2.5, 0), -3);
  EXPECT_EQ(round_to(1.005, 2), 1);  // the double lies below the half
  EXPECT_EQ(round_to(1234.5, -2), 1200);
  EXPECT_EQ(round_to(0.05, 1), 1 * std::pow(10.0, -1));
}

TEST(RoundTo, OverflowingScaleKeepsTheValue) {
  EXPECT_EQ(round_to(1e300, 20), 1e300);
  EXPECT_EQ(round_to(-1.7976931348623157e308, 2), -1.7976931348623157e308);
  EXPECT_EQ(round_to(0.0, 400), 0.0);
  EXPECT_EQ(round_to(0.25, 400), 0.25);
  EXPECT_EQ(round_to(5.0, -400), 0.0);
}

// ---- real_to_text -----------------------------------------------------------

struct real_write_case {
  const char* name;
  double x;
  int32_t n;
  bool exponent;
  bool dash;
  std::string expected;
};

const real_write_case kRealWrites[] = {
    {"PlainTenth", 0.1, -1, false, false, "0.1"},
    {"HalfUp", 2.5, 0, false, false, "3"},
    {"NegativeHalf", -2.5, 0, false, false, "-3"},
    {"PadsZeros", 1, 3, false, false, "1.000"},
    {"NegativePadded", -7, 2, false, false, "-7.00"},
    {"NegativeRoundsToZeroUnsigned", -0.001, 2, false, false, "0.00"},
    {"HalfAtOneDecimal", 0.05, 1, false, false, "0.1"},
    {"BelowTheHalf", 1.005, 2, false, false, "1.00"},
    {"CarryAddsDigit", 99.999, 2, false, false, "100.00"},
    {"SumFortyOneDigits", 0.1 + 0.2, -1, false, false,
     "0.30000000000000004440892098500626161694526"},
    {"SumSixDigits", 0.1 + 0.2, 6, false, false, "0.300000"},
    {"TinyFractionDropped", 1e-42, -1, false, false, "0"},
    {"NegativeZero", -0.0, -1, false, false, "0"},
    {"LastFixed", 9999999999, -1, false, false, "9999999999"},
    {"FirstExponent", 10000000000, -1, false, false, "1e10"},
    {"NegativeStaysFixed", -12345678901, 2, false, false, "-12345678901.00"},
    {"LargeRoundsMantissa", 12345678901, 3, false, false, "1.235e10"},
    {"ExponentOption", 0.00015, 2, true, false, "1.50e-4"},
    {"ExponentPlain", 25, -1, true, false, "2.5e1"},
    {"ExponentZero", 0, -1, true, false, "0e0"},
    {"ExponentBelowForty", 1e-45, -1, true, false, "0e0"},
    {"NegativeTinyExponent", -1e-45, 2, true, false, "0.00e0"},
    {"MantissaNotRenormalised", 9.9999e20, 2, false, false, "10.00e20"},
    {"NegativeExponentForm", -25, 1, true, false, "-2.5e1"},
    {"DashedNegative", -1.5, -1, false, true, kDash + "1.5"},
    {"DashedExponent", 0.00015, 2, true, true, "1.50e" + kDash + "4"},
    {"DashedBoth", -0.00015, 2, true, true, kDash + "1.50e" + kDash + "4"},
    {"NegativeTwoToSixty", -1152921504606846976.0, 2, false, false, "-1152921504606846976.00"},
    {"Inf", kInf, -1, false, false, "inf"},
    {"MinusInf", -kInf, -1, false, false, "-inf"},
    {"MinusInfDashed", -kInf, 2, false, true, kDash + "inf"},
    {"InfWithExponentOption", kInf, 2, true, false, "inf"},
    {"NaN", kNaN, -1, false, false, "nan"},
    {"NegativeNaN", -kNaN, 3, true, true, "nan"},
};

class RealToText : public testing::TestWithParam<real_write_case> {};

TEST_P(RealToText, Writes) {
  const real_write_case& c = GetParam();
  EXPECT_EQ(B(real_to_text(c.x, c.n, c.exponent, c.dash)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RealToText, testing::ValuesIn(kRealWrites),
                         case_name<real_write_case>);

TEST(RealToText, HugeNegativeFixedFormIsExact) {
  EXPECT_EQ(B(real_to_text(-1e300, 2, false, false)),
            "-1000000000000000052504760255204420248704468581108159154915854115511802457988908195"
            "786371375080447864043704443832883878176942523235360430575644792184786706982848387200"
            "926575803737830233794788090059368953234970799945081119038967640880074652742780142494"
            "579258788820056842838115669472196386865459400540160.00");
  // The scaling by 100 overflows here; the value is kept.
  const std::string most = B(real_to_text(-1.7976931348623157e308, 2, false, false));
  EXPECT_EQ(most.substr(0, 20), "-1797693134862315708");
  EXPECT_EQ(most.size(), 1u + 309u + 3u);
  EXPECT_EQ(most.substr(most.size() - 3), ".00");
}

// The fixed form's integer part above 2^64 (negative values keep the fixed
// form) is built limb by limb, nine decimal digits each: every digit must
// be the double's exact value.
TEST(RealToText, IntegerPartAbove64BitsIsExact) {
  for (const double x : {18446744073709551616.0, 18446744073709555712.0, 1e20, 1e22, 0x1p100,
                         620448401733239439360000.0, 1e300, 0x1p1023, 1.7976931348623157e308}) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.0f", -x);
    EXPECT_EQ(B(real_to_text(-x, 0, false, false)), expected) << x;
  }
}

TEST(RealToText, ManyDecimalsPadWithZeros) {
  const std::string text = B(real_to_text(0.25, 400, false, false));
  EXPECT_EQ(text, "0.25" + std::string(398, '0'));
}

// ---- real literals read back ------------------------------------------------

// Fractions with bits below 2^-52 (values under 1), the smallest and largest
// fractions above 1, a product of ten that rounds up on a tie (to even), and
// values whose 41 digits are all zeros.
struct literal_case {
  const char* name;
  double x;
  std::string literal;
};

const literal_case kLiterals[] = {
    {"TenthsSum", 0.1 + 0.2, "0.30000000000000004440892098500626161694526"},
    {"Tenth", 0.1, "0.1"},
    {"JustBelowOne", 0x1.fffffffffffffp-1, "0.99999999999999982236431605997495353221893"},
    {"SmallestStepAboveOne", 0x1.0000000000001p+0, "1.00000000000000022204460492503130808472633"},
    {"LargestFractionAboveOne", 0x1.fffffffffffffp+0,
     "1.99999999999999982236431605997495353221893"},
    {"SquareRootOfTwo", 0x1.6a09e667f3bcdp+0, "1.41421356237309510106570087373256683349609"},
    {"TieRoundsUpToEven", 0x1.8000000000003p+0, "1.50000000000000071054273576010018587112426"},
    {"NegativeThird", -1.0 / 3, "-0.33333333333333330372738600999582558870315"},
    {"JustBelowBillion", 0x1.dcd64ffffffffp+29, "999999999.99999988079071044921875"},
    {"SmallNeedsZeroDigits", 1.2345e-7, "0.00000012345000000000001527666881884215399"},
    {"Decimal", 12.35, "12.34999999999999964472863211994990706443786"},
    {"Exact", 12.5, "12.5"},
    {"NegativeLarge", -987654321.125, "-987654321.125"},
    {"BelowLastDigit", 1e-42, "0"},
    {"Subnormal", 0x1p-1074, "0"},
    {"NegativeBelowLastDigit", -1e-42, "-0"},
    {"Whole", 5.0, "5"},
    {"NegativeWhole", -7.0, "-7"},
    {"NegativeZero", -0.0, "0"},
    {"NineBytesWhole", 999999999.0, "999999999"},
    {"NineBytesNegativeWhole", -99999999.0, "-99999999"},
    {"TenBytesWholeReadsAsReal", -999999999.0, "-999999999"},
};

class RealLiteral : public testing::TestWithParam<literal_case> {};

// The read-back found without writing the literal agrees with reading it.
TEST_P(RealLiteral, WrittenAndReadBack) {
  const literal_case& c = GetParam();
  const alg_string text = real_to_text(c.x, -1, false, false);
  EXPECT_EQ(B(text), c.literal);
  int32_t integer = 0;
  double real = 0;
  uint32_t length = 0;
  const literal_reading reading = read_back_real_literal(c.x, integer, real, length);
  EXPECT_EQ(length, text.length());
  // Digits and sign shorter than ten bytes read as an integer.
  if (c.literal.find('.') == std::string::npos && c.literal.size() < 10) {
    ASSERT_EQ(reading, literal_reading::integer);
    EXPECT_EQ(integer, text_to_int(text));
  } else {
    ASSERT_EQ(reading, literal_reading::real);
    EXPECT_TRUE(same_real(real, text_to_real(text))) << real;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RealLiteral, testing::ValuesIn(kLiterals), case_name<literal_case>);

// ---- value_to_text ----------------------------------------------------------

const text_case kValueTexts[] = {
    {"IntegerWithDigits", [] { return value_to_text(alg_value::of_integer(5), 2, false, false); },
     "5.00"},
    {"IntegerPlain", [] { return value_to_text(alg_value::of_integer(5), -1, false, false); }, "5"},
    {"IntegerDashed", [] { return value_to_text(alg_value::of_integer(-5), -1, false, true); },
     kDash + "5"},
    {"IntegerExponent", [] { return value_to_text(alg_value::of_integer(-250), -1, true, false); },
     "-2.5e2"},
    {"IntegerLargeWithDigits",
     [] { return value_to_text(alg_value::of_integer(INT32_MIN), 1, false, true); },
     kDash + "2147483648.0"},
    {"Real", [] { return value_to_text(alg_value::of_real(2.5), -1, false, false); }, "2.5"},
    {"RealDashed", [] { return value_to_text(alg_value::of_real(-0.5), 2, false, true); },
     kDash + "0.50"},
    {"RealInf", [] { return value_to_text(alg_value::of_real(-kInf), -1, false, true); },
     kDash + "inf"},
    {"TextUnchanged", [] { return value_to_text(alg_value::of_text("-1.50"), 0, true, true); },
     "-1.50"},
    {"DefaultIsEmptyText", [] { return value_to_text(alg_value(), 2, false, false); }, ""},
};

class ValueToText : public testing::TestWithParam<text_case> {};

TEST_P(ValueToText, Writes) { EXPECT_EQ(B(GetParam().make()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, ValueToText, testing::ValuesIn(kValueTexts), case_name<text_case>);

// ---- non-finite round trips -------------------------------------------------

TEST(NonFinite, PlainFormReadsBackWhole) {
  for (double x : {kInf, -kInf, kNaN}) {
    const alg_string text = real_to_text(x, -1, false, false);
    uint32_t consumed = 0;
    const double back = text_to_real(text, &consumed);
    EXPECT_TRUE(same_real(back, x)) << B(text);
    EXPECT_EQ(consumed, text.length()) << B(text);
    // The operand reader tries the integer reading first; it must not take it.
    uint32_t int_consumed = 0;
    text_to_int(text, &int_consumed);
    EXPECT_NE(int_consumed, text.length()) << B(text);
  }
}

TEST(NonFinite, SignInFrontNegates) {
  const alg_string negative = real_to_text(-kInf, -1, false, false);
  EXPECT_EQ(text_to_real("-" + real_to_text(kInf, -1, false, false)), -kInf);
  EXPECT_EQ(text_to_real("-" + negative), kInf);
  EXPECT_EQ(text_to_real(real_to_text(-kInf, 6, false, true)), -kInf);
}

// ---- group_thousands --------------------------------------------------------

struct group_case {
  const char* name;
  std::string text;
  std::string expected;
};

const group_case kGroups[] = {
    {"BeforePoint", "12345.5", "12,345.5"},
    {"ThreeDigits", "999", "999"},
    {"FourDigits", "1234", "1,234"},
    {"SevenDigits", "1234567", "1,234,567"},
    {"LongFraction", "1234567.1234", "1,234,567.1234"},
    {"Minus", "-1234567", "-1,234,567"},
    {"EnDash", kDash + "12345", kDash + "12,345"},
    {"AlreadyGrouped", "1,234567", "1,234567"},
    {"Empty", "", ""},
    {"SignOnly", "-", "-"},
    {"ExponentLeftAlone", "2e10", "2e10"},
    {"ExponentWithPoint", "1.235e10", "1.235e10"},
    {"ExponentWithLongMantissa", "123456e7", "123,456e7"},
    {"NegativeExponent", kDash + "2e" + kDash + "10", kDash + "2e" + kDash + "10"},
    {"Inf", kDash + "inf", kDash + "inf"},
};

class GroupThousands : public testing::TestWithParam<group_case> {};

TEST_P(GroupThousands, Groups) {
  EXPECT_EQ(B(group_thousands(S(GetParam().text))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, GroupThousands, testing::ValuesIn(kGroups), case_name<group_case>);

TEST(GroupThousands, LargeValueWithoutScientificSetting) {
  // 10^10 and more take the exponent form even with 0 decimals.
  EXPECT_EQ(B(group_thousands(real_to_text(20000000000, 0, false, true))), "2e10");
  EXPECT_EQ(B(group_thousands(real_to_text(-20000000000, 0, false, true))),
            kDash + "20,000,000,000");
}

// ---- properties over many doubles -------------------------------------------

std::string without_commas(std::string text) {
  std::erase(text, ',');
  return text;
}

// Reading back a written value: the 41 digits carry more than a double
// holds, and what is lost comes from the reader's accumulated weights (each
// power of 0.1 adds a rounding, so tiny values lose a little more).
void expect_plain_round_trip(uint64_t seed, int low_exponent, int high_exponent, double relative) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> exponent(low_exponent, high_exponent);
  std::uniform_real_distribution<double> mantissa(1, 10);
  for (int i = 0; i < 20000; ++i) {
    double x = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 2 == 1) x = -x;
    if (x > 9999999999.0) continue;
    const alg_string text = real_to_text(x, -1, false, false);
    uint32_t consumed = 0;
    const double back = text_to_real(text, &consumed);
    ASSERT_EQ(consumed, text.length()) << B(text);
    ASSERT_LE(std::fabs(back - x), relative * std::fabs(x)) << B(text) << " for " << x;
  }
}

TEST(NumberTextProperty, PlainFormReadsBackClose) {
  expect_plain_round_trip(20260417, -1, 9, 1e-15);
}

TEST(NumberTextProperty, PlainFormOfSmallValuesReadsBackClose) {
  expect_plain_round_trip(99, -9, -2, 4e-15);
}

TEST(NumberTextProperty, ExponentFormReadsBackClose) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-30, 30);
  std::uniform_real_distribution<double> mantissa(1, 10);
  for (int i = 0; i < 20000; ++i) {
    const double x = mantissa(random) * std::pow(10.0, std::floor(exponent(random)));
    const alg_string text = real_to_text(x, -1, true, false);
    uint32_t consumed = 0;
    const double back = text_to_real(text, &consumed);
    ASSERT_EQ(consumed, text.length()) << B(text);
    ASSERT_LE(std::fabs(back - x), 1e-13 * std::fabs(x)) << B(text) << " for " << x;
  }
}

TEST(NumberTextProperty, DecimalsGiveExactlyThatManyDigitsAndRoundClosely) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> value(-1e6, 1e6);
  std::uniform_int_distribution<int32_t> decimals(0, 9);
  for (int i = 0; i < 20000; ++i) {
    const double x = value(random);
    const int32_t n = decimals(random);
    const std::string text = B(real_to_text(x, n, false, false));
    const std::size_t point = text.find('.');
    if (n == 0) {
      ASSERT_EQ(point, std::string::npos) << text;
    } else {
      ASSERT_NE(point, std::string::npos) << text;
      ASSERT_EQ(text.size() - point - 1, static_cast<std::size_t>(n)) << text;
    }
    const double back = text_to_real(S(text));
    ASSERT_LE(std::fabs(back - x), 0.5 * std::pow(10.0, -n) + 1e-9) << text << " for " << x;
    // Grouping only adds commas.
    ASSERT_EQ(without_commas(B(group_thousands(S(text)))), text);
  }
}

}  // namespace
