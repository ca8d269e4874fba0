#include "value/alg_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "test_support.h"
#include "value/literal_codec.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

alg_value I(int32_t v) { return alg_value::of_integer(v); }
alg_value R(double v) { return alg_value::of_real(v); }
alg_value T(const std::string& v) { return alg_value::of_text(S(v)); }

// ---------------------------------------------------------------- kinds

TEST(AlgValue, DefaultIsEmptyText) {
  const alg_value v;
  EXPECT_TRUE(v.is_text());
  EXPECT_FALSE(v.is_number());
  EXPECT_EQ(v.kind(), value_kind::text);
  EXPECT_TRUE(v.text().empty());
  EXPECT_EQ(B(literal_text(v)), "\"\"");
}

TEST(AlgValue, SettersSelectTheKind) {
  alg_value v;
  v.set_integer(7);
  EXPECT_TRUE(v.is_integer());
  EXPECT_TRUE(v.is_number());
  EXPECT_FALSE(v.is_real());
  EXPECT_FALSE(v.is_text());
  v.set_real(2.5);
  EXPECT_TRUE(v.is_real());
  EXPECT_TRUE(v.is_number());
  EXPECT_FALSE(v.is_integer());
  v.set_text("ab");
  EXPECT_TRUE(v.is_text());
  EXPECT_FALSE(v.is_number());
  EXPECT_EQ(B(v.text()), "ab");
}

TEST(AlgValue, AssignmentCopiesKindAndPayload) {
  alg_value target = T("old");
  target = I(-6);
  EXPECT_TRUE(target.is_integer());
  EXPECT_EQ(target.as_integer(), -6);
  EXPECT_EQ(B(literal_text(target)), "-6");

  target = R(1.5);
  EXPECT_TRUE(target.is_real());
  EXPECT_EQ(target.as_real(), 1.5);

  alg_value source = T("new");
  target = source;
  EXPECT_TRUE(target.is_text());
  EXPECT_EQ(B(target.text()), "new");
  // Deep copy: changing the source leaves the target alone.
  source.set_text("changed");
  EXPECT_EQ(B(target.text()), "new");

  const alg_value copy(target);
  EXPECT_TRUE(copy.is_text());
  EXPECT_EQ(B(copy.text()), "new");
}

// ---------------------------------------------------------- conversions

struct as_integer_case {
  const char* name;
  alg_value value;
  int32_t expected;
};

const as_integer_case kAsInteger[] = {
    {"Integer", I(-42), -42},
    {"IntegerMin", I(INT32_MIN), INT32_MIN},
    {"RealNegativeTruncates", R(-2.7), -2},
    {"RealPositiveTruncates", R(2.7), 2},
    {"RealNegativeHalf", R(-0.5), 0},
    {"RealLargestInRange", R(2147483647.9), 2147483647},
    {"RealSmallestInRange", R(-2147483648.9), INT32_MIN},
    {"RealJustAboveRange", R(2147483648.0), INT32_MIN},
    {"RealNaN", R(kNaN), INT32_MIN},
    {"RealThreeBillion", R(3e9), INT32_MIN},
    {"RealMinusThreeBillion", R(-3e9), INT32_MIN},
    {"RealInfinity", R(kInf), INT32_MIN},
    {"RealMinusInfinity", R(-kInf), INT32_MIN},
    {"TextNumberPrefix", T("12a"), 12},
    {"TextReal", T("1.5"), 1},
    {"TextNoNumber", T("abc"), 0},
    {"TextEmpty", T(""), 0},
};

class AlgValueAsInteger : public testing::TestWithParam<as_integer_case> {};

TEST_P(AlgValueAsInteger, Converts) {
  EXPECT_EQ(GetParam().value.as_integer(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, AlgValueAsInteger, testing::ValuesIn(kAsInteger),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AlgValue, AsReal) {
  EXPECT_EQ(I(-7).as_real(), -7.0);
  EXPECT_EQ(I(INT32_MIN).as_real(), -2147483648.0);
  EXPECT_EQ(R(0.1).as_real(), 0.1);
  EXPECT_TRUE(std::isnan(R(kNaN).as_real()));
  EXPECT_EQ(T("1e-3").as_real(), 0.001);
  EXPECT_EQ(T("2.5x").as_real(), 2.5);
  EXPECT_EQ(T("abc").as_real(), 0.0);
}

// --------------------------------------------------------- literal_text

struct literal_case {
  const char* name;
  alg_value value;
  std::string expected;
};

const literal_case kLiterals[] = {
    {"Integer", I(42), "42"},
    {"NegativeInteger", I(-6), "-6"},
    {"IntegerZero", I(0), "0"},
    {"IntegerMin", I(INT32_MIN), "-2147483648"},
    {"RealIntegral", R(5.0), "5"},
    {"RealFraction", R(2.5), "2.5"},
    {"RealNegative", R(-0.25), "-0.25"},
    {"RealBeyondFixedLimit", R(1e10), "1e10"},
    {"TextPlain", T("abc"), "\"abc\""},
    {"TextSpace", T("a b"), "\"a%20b\""},
    {"TextPercent", T("50% off!"), "\"50%25%20off%21\""},
    {"TextQuote", T("\""), "\"%22\""},
    {"TextEmpty", T(""), "\"\""},
    {"TextMinusSign", T("-1"), "\"%2D1\""},
};

class AlgValueLiteralText : public testing::TestWithParam<literal_case> {};

TEST_P(AlgValueLiteralText, Writes) {
  EXPECT_EQ(B(literal_text(GetParam().value)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, AlgValueLiteralText, testing::ValuesIn(kLiterals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AlgValue, TextLiteralDecodesBack) {
  const alg_string lit = literal_text(T("50% off!"));
  ASSERT_GE(lit.length(), 2u);
  EXPECT_EQ(B(decode_literal(lit.mid(2, lit.length() - 2))), "50% off!");
}

// ---------------------------------------------------------- comparisons

struct compare_case {
  const char* name;
  alg_value left;
  alg_value right;
  bool eq, ne, lt, le, gt, ge;
};

// Each row lists: equal, not equal, less, less or equal, greater, greater or equal.
const compare_case kComparisons[] = {
    {"IntegersEqual", I(3), I(3), true, false, false, true, false, true},
    {"IntegersSigned", I(-1), I(1), false, true, true, true, false, false},
    {"IntegersExtremes", I(INT32_MAX), I(INT32_MIN), false, true, false, false, true, true},
    {"RealsExact", R(0.1 + 0.2), R(0.3), false, true, false, false, true, true},
    {"RealsSignedZeros", R(-0.0), R(0.0), true, false, false, true, false, true},
    {"IntegerVsReal", I(3), R(3.0), true, false, false, true, false, true},
    {"RealVsInteger", R(2.5), I(3), false, true, true, true, false, false},
    {"TextsEqual", T("abc"), T("abc"), true, false, false, true, false, true},
    {"TextsCaseMatters", T("a"), T("A"), false, true, false, false, true, true},
    {"TextsPrefixIsLess", T("ab"), T("abc"), false, true, true, true, false, false},
    {"TextsSignedBytes", T("\xE9"), T("a"), false, true, true, true, false, false},
    {"TextsEmpty", T(""), T(""), true, false, false, true, false, true},
    // A text on the left: both compared as texts in the plain form.
    {"TextTenVsNine", T("10"), I(9), false, true, true, true, false, false},
    {"TextThreePointZeroVsThree", T("3.0"), I(3), false, true, false, false, true, true},
    {"TextFiveVsFive", T("5"), I(5), true, false, false, true, false, true},
    {"TextVsReal", T("2.5"), R(2.5), true, false, false, true, false, true},
    {"TextVsIntegralReal", T("5.0"), R(5.0), false, true, false, false, true, true},
    {"WordVsZero", T("abc"), I(0), false, true, false, false, true, true},
    // A number on the left: both compared as reals.
    {"NineVsTextTen", I(9), T("10"), false, true, true, true, false, false},
    {"ThreeVsTextThreePointZero", I(3), T("3.0"), true, false, false, true, false, true},
    {"FiveVsTextFive", I(5), T("5"), true, false, false, true, false, true},
    {"RealVsText", R(2.5), T("2.5"), true, false, false, true, false, true},
    {"ZeroVsWord", I(0), T("abc"), true, false, false, true, false, true},
    // NaN: equal and less are false, the derived forms follow from them.
    {"NaNVsNaN", R(kNaN), R(kNaN), false, true, false, false, true, true},
    {"NaNVsReal", R(kNaN), R(1.0), false, true, false, false, true, true},
    {"RealVsNaN", R(1.0), R(kNaN), false, true, false, false, true, true},
    {"NaNVsInteger", R(kNaN), I(1), false, true, false, false, true, true},
    {"IntegerVsNaN", I(1), R(kNaN), false, true, false, false, true, true},
    {"InfinityVsInteger", R(kInf), I(INT32_MAX), false, true, false, false, true, true},
    {"MinusInfinityVsReal", R(-kInf), R(-1e308), false, true, true, true, false, false},
};

class AlgValueCompare : public testing::TestWithParam<compare_case> {};

TEST_P(AlgValueCompare, AllSix) {
  const compare_case& c = GetParam();
  EXPECT_EQ(values_equal(c.left, c.right), c.eq);
  EXPECT_EQ(values_not_equal(c.left, c.right), c.ne);
  EXPECT_EQ(values_less(c.left, c.right), c.lt);
  EXPECT_EQ(values_less_or_equal(c.left, c.right), c.le);
  EXPECT_EQ(values_greater(c.left, c.right), c.gt);
  EXPECT_EQ(values_greater_or_equal(c.left, c.right), c.ge);
}

INSTANTIATE_TEST_SUITE_P(Cases, AlgValueCompare, testing::ValuesIn(kComparisons),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- codecs

bool only_letters_digits_percent(const alg_string& s) {
  for (char c : s.view()) {
    const bool ok =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '%';
    if (!ok) return false;
  }
  return true;
}

TEST(LiteralCodec, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    all += one;
    const alg_string encoded = encode_literal(S(one));
    EXPECT_TRUE(only_letters_digits_percent(encoded)) << "byte " << b;
    EXPECT_EQ(B(decode_literal(encoded)), one) << "byte " << b;
    const bool alnum = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    EXPECT_EQ(encoded.length(), alnum ? 1u : 3u) << "byte " << b;
  }
  const alg_string encoded = encode_literal(S(all));
  EXPECT_TRUE(only_letters_digits_percent(encoded));
  EXPECT_EQ(encoded.length(), 62u + 3u * (256u - 62u));
  EXPECT_EQ(B(decode_literal(encoded)), all);
}

struct codec_case {
  const char* name;
  std::string input;
  std::string expected;
};

const codec_case kEncode[] = {
    {"Empty", "", ""},
    {"LettersAndDigits", "azAZ09", "azAZ09"},
    {"Space", " ", "%20"},
    {"Nul", std::string(1, '\0'), "%00"},
    {"UpperCaseHex", "\xE9\xFF", "%E9%FF"},
    {"Tilde", "~add~", "%7Eadd%7E"},
    {"Plus", "+", "%2B"},
    {"Percent", "%", "%25"},
    {"Sentence", "50% off!", "50%25%20off%21"},
};

class LiteralEncode : public testing::TestWithParam<codec_case> {};

TEST_P(LiteralEncode, Encodes) {
  EXPECT_EQ(B(encode_literal(S(GetParam().input))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LiteralEncode, testing::ValuesIn(kEncode),
                         [](const auto& info) { return std::string(info.param.name); });

const codec_case kDecode[] = {
    {"Empty", "", ""},
    {"Plain", "abc", "abc"},
    {"Hex", "%41%42", "AB"},
    {"LowerCaseHex", "%e9", "\xE9"},
    {"PlusIsSpace", "a+b", "a b"},
    {"EncodedPlusStaysPlus", "%2B", "+"},
    {"OtherBytesCopied", "a b~", "a b~"},
    {"ConsumesThreeBytes", "%4142", "A42"},
    {"NonHexDigitsAddNothing", "%zz", std::string(1, '\0')},
    // Cut short at the end: the bytes that are there, never past the end.
    {"OneDigitLeft", "a%4", "a\x04"},
    {"OneDigitLeftF", "%f", "\x0F"},
    {"PercentLast", "a%", "a%"},
    {"PercentOnly", "%", "%"},
};

class LiteralDecode : public testing::TestWithParam<codec_case> {};

TEST_P(LiteralDecode, Decodes) {
  EXPECT_EQ(B(decode_literal(S(GetParam().input))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LiteralDecode, testing::ValuesIn(kDecode),
                         [](const auto& info) { return std::string(info.param.name); });

const codec_case kUnescape[] = {
    {"SpecExample", "a\\x41\\tb\\q", "aA\tbq"},
    {"Empty", "", ""},
    {"NoEscapes", "plain text", "plain text"},
    {"Backslash", "a\\\\b", "a\\b"},
    {"EscapedBackslashThenT", "\\\\t", "\\t"},
    {"NulDropsBoth", "a\\0b", "ab"},
    {"Tab", "\\t", "\t"},
    {"NewLine", "\\n", "\n"},
    {"UpperTIsPlainT", "\\T", "T"},
    {"UpperNIsPlainN", "\\N", "N"},
    {"UpperXIsPlainX", "\\X41", "X41"},
    {"OtherByteKept", "\\q\\\"", "q\""},
    {"HexConsumesFour", "\\x41B", "AB"},
    {"HexLowerCase", "\\xe9", "\xE9"},
    {"HexZero", "\\x00", std::string(1, '\0')},
    {"TrailingBackslashDropped", "ab\\", "ab"},
    {"OnlyBackslash", "\\", ""},
    // \x cut short at the end: the bytes that are there, never past the end.
    {"HexOneDigitLeft", "a\\x4", "a\x04"},
    {"HexNoDigitLeft", "a\\x", "ax"},
};

class LiteralUnescape : public testing::TestWithParam<codec_case> {};

TEST_P(LiteralUnescape, Unescapes) {
  EXPECT_EQ(B(unescape_literal(S(GetParam().input))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LiteralUnescape, testing::ValuesIn(kUnescape),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LiteralCodec, SpecUnescapeExampleIsTenBytes) {
  const alg_string in = S("a\\x41\\tb\\q");
  ASSERT_EQ(in.length(), 10u);
  EXPECT_EQ(B(unescape_literal(in)), std::string("aA\tbq"));
}

}  // namespace
