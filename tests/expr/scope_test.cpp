// The evaluator against a scope of the test's own: what it asks of the
// world around a formula (names, user functions, limits), with no
// environment behind it.
#include "expr/scope.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/errors.h"
#include "expr/evaluator.h"
#include "test_support.h"

namespace {

class fake_scope final : public scope {
 public:
  std::map<std::string, alg_value> names;
  int32_t limit = 20;
  int name_lookups = 0;

  alg_value value_of(const alg_string& name) override {
    ++name_lookups;
    const auto it = names.find(B(name.lower()));
    if (it == names.end()) throw z_x_var_notdefined(name);
    return it->second;
  }
  // Every user function doubles its one argument.
  alg_string call_user_function(const alg_string& name, const alg_array<alg_value>& args,
                                uint32_t n) override {
    if (n != 1) throw z_x_toomanyparameters(name);
    return alg_string("(") + literal_text(args[1]) + "~mul~2)";
  }
  nesting_depths& depths() override { return depths_; }
  int32_t nesting_limit() const override { return limit; }
  int64_t& expansions() override { return expansions_; }

 private:
  nesting_depths depths_;
  int64_t expansions_ = 0;
};

struct scope_case {
  const char* name;
  const char* formula;
  int32_t limit;
  const char* expected;  // the literal left, or the error message
};

const scope_case kCases[] = {
    {"NamesComeFromTheScope", "a + B*2", 20, "7"},
    {"SignedName", "-a", 20, "-1"},
    {"ReservedWordsAreTheScopesToo", "pi > 3", 20, "1"},
    {"UserFunctionTextIsSplicedIn", "twice(a) + 1", 20, "3"},
    {"NestedUserFunctions", "twice(twice(b))", 20, "12"},
    {"UnknownName", "a + zz", 20, "variable 'zz' not defined"},
    {"UserFunctionCountError", "twice(1, 2)", 20, "error while calling 'twice': too many parameters"},
    {"LimitFromTheScope", "1 + 1", 0, "error in '1 + 1': stack overflow"},
    {"WithinTheLimit", "1 + 1", 1, "2"},
};

class ScopeCase : public testing::TestWithParam<scope_case> {};

TEST_P(ScopeCase, Evaluates) {
  fake_scope s;
  s.names = {{"a", alg_value::of_integer(1)},
             {"b", alg_value::of_integer(3)},
             {"pi", alg_value::of_real(3.14)}};
  s.limit = GetParam().limit;
  alg_string text(GetParam().formula);
  std::string got;
  try {
    evaluate_text(s, text, false);
    got = B(text);
  } catch (const z_x_algorithm& e) {
    got = B(e.message);
  }
  EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Evaluator, ScopeCase, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
