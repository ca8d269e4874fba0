#include "value/checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <typeindex>
#include <typeinfo>

#include "base/errors.h"
#include "test_support.h"

namespace {

alg_value I(int32_t v) { return alg_value::of_integer(v); }
alg_value R(double v) { return alg_value::of_real(v); }
alg_value T(const std::string& v) { return alg_value::of_text(S(v)); }

// What a check did: nothing (typeid(void)), or the exact class it threw with
// its message and context.
struct outcome {
  std::type_index thrown = typeid(void);
  std::string message;
  std::string context;
};

outcome run(const std::function<void()>& check) {
  outcome o;
  try {
    check();
  } catch (const z_x_algorithm& e) {
    o.thrown = typeid(e);
    o.message = B(e.message);
    o.context = B(e.context);
  }
  return o;
}

struct check_case {
  const char* name;
  std::function<void()> check;
  std::type_index thrown;
  std::string message;
};

const std::type_index kNone = typeid(void);

const check_case kCases[] = {
    // check_count
    {"CountEqual", [] { check_count(2, 2, "f"); }, kNone, ""},
    {"CountZeroZero", [] { check_count(0, 0, "f"); }, kNone, ""},
    {"CountTooMany", [] { check_count(3, 2, "f"); }, typeid(z_x_toomanyparameters),
     "error while calling 'f': too many parameters"},
    {"CountTooFew", [] { check_count(1, 2, "f"); }, typeid(z_x_toofewparameters),
     "error while calling 'f': too few parameters"},
    {"CountTooManyShort", [] { check_count(5, 0, ""); }, typeid(z_x_toomanyparameters),
     "too many parameters"},
    {"CountTooFewShort", [] { check_count(0, 1, ""); }, typeid(z_x_toofewparameters),
     "too few parameters"},
    {"CountHugeIsTooMany", [] { check_count(0xFFFFFFFFu, 1, "g"); }, typeid(z_x_toomanyparameters),
     "error while calling 'g': too many parameters"},

    // check_kind "s"
    {"TextPassesS", [] { check_kind(T("x"), "s", "len"); }, kNone, ""},
    {"EmptyTextPassesS", [] { check_kind(T(""), "s", "len"); }, kNone, ""},
    {"DefaultValuePassesS", [] { check_kind(alg_value(), "s", "len"); }, kNone, ""},
    {"IntegerFailsS", [] { check_kind(I(1), "s", "len"); }, typeid(z_x_string_required),
     "error while evaluating 'len': string required"},
    {"RealFailsS", [] { check_kind(R(1.5), "s", ""); }, typeid(z_x_string_required),
     "string required"},

    // check_kind "d"
    {"IntegerPassesD", [] { check_kind(I(2), "d", "sqrt"); }, kNone, ""},
    {"RealPassesD", [] { check_kind(R(2.5), "d", "sqrt"); }, kNone, ""},
    {"TextFailsD", [] { check_kind(T("2"), "d", "sqrt"); }, typeid(z_x_number_required),
     "error while evaluating 'sqrt': number required"},
    {"TextFailsDShort", [] { check_kind(T("2"), "d", ""); }, typeid(z_x_number_required),
     "number required"},

    // check_kind "l": only the kind counts, never the value
    {"IntegerPassesL", [] { check_kind(I(2), "l", "mid"); }, kNone, ""},
    {"IntegralRealFailsL", [] { check_kind(R(2.0), "l", "mid"); }, typeid(z_x_integer_required),
     "error while evaluating 'mid': integer required"},
    {"TextFailsL", [] { check_kind(T("2"), "l", ""); }, typeid(z_x_integer_required),
     "integer required"},

    // any other code passes every value; codes are exact texts
    {"CodeXPassesText", [] { check_kind(T("a"), "x", "f"); }, kNone, ""},
    {"CodeXPassesInteger", [] { check_kind(I(1), "x", "f"); }, kNone, ""},
    {"CodeXPassesReal", [] { check_kind(R(1.5), "x", "f"); }, kNone, ""},
    {"EmptyCodePasses", [] { check_kind(I(1), "", "f"); }, kNone, ""},
    {"UpperCaseCodePasses", [] { check_kind(I(1), "S", "f"); }, kNone, ""},
    {"LongerCodePasses", [] { check_kind(I(1), "ss", "f"); }, kNone, ""},
    {"NullCodePasses", [] { check_kind(I(1), nullptr, "f"); }, kNone, ""},

    // check_match
    {"IntegerAndRealMatch", [] { check_match(I(1), R(1.5), "~add~"); }, kNone, ""},
    {"TwoIntegersMatch", [] { check_match(I(1), I(2), "~add~"); }, kNone, ""},
    {"TwoTextsMatch", [] { check_match(T("a"), T("b"), "~cat~"); }, kNone, ""},
    {"TextAndInteger", [] { check_match(T("1"), I(1), "~lss~"); }, typeid(z_x_match_required),
     "error while evaluating '<': argument types must match"},
    {"IntegerAndText", [] { check_match(I(1), T("1"), "max"); }, typeid(z_x_match_required),
     "error while evaluating 'max': argument types must match"},
    {"RealAndTextShort", [] { check_match(R(1.0), T(""), ""); }, typeid(z_x_match_required),
     "argument types must match"},

    // the context is shown with its operator tokens turned back
    {"ContextTokensShown", [] { check_kind(T("a"), "d", "~sub~"); }, typeid(z_x_number_required),
     "error while evaluating '-': number required"},
};

class Checks : public testing::TestWithParam<check_case> {};

TEST_P(Checks, ThrowsExactly) {
  const check_case& c = GetParam();
  const outcome o = run(c.check);
  EXPECT_EQ(o.thrown, c.thrown) << o.thrown.name();
  EXPECT_EQ(o.message, c.message);
  EXPECT_EQ(o.context, "");  // checks never set the context
}

INSTANTIATE_TEST_SUITE_P(Cases, Checks, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Checks, KindErrorsAreWrongTypes) {
  EXPECT_THROW(check_kind(I(1), "s", "f"), z_x_wrongtype);
  EXPECT_THROW(check_kind(T("1"), "d", "f"), z_x_wrongtype);
  EXPECT_THROW(check_kind(R(1.0), "l", "f"), z_x_wrongtype);
  EXPECT_THROW(check_match(I(1), T("1"), "f"), z_x_wrongtype);
}

TEST(Checks, CountErrorsAreNotWrongTypes) {
  bool wrongtype = false;
  bool algorithm = false;
  try {
    check_count(3, 2, "f");
  } catch (const z_x_wrongtype&) {
    wrongtype = true;
  } catch (const z_x_algorithm&) {
    algorithm = true;
  }
  EXPECT_FALSE(wrongtype);
  EXPECT_TRUE(algorithm);
}

TEST(Checks, ChangeNothing) {
  const alg_value a = I(4);
  const alg_value b = T("x");
  check_kind(a, "d", "f");
  EXPECT_THROW(check_match(a, b, "f"), z_x_match_required);
  EXPECT_EQ(a.as_integer(), 4);
  EXPECT_EQ(B(b.text()), "x");
}

}  // namespace
