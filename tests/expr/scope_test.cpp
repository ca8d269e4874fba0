// The evaluator against a scope of the test's own: what it asks of the
// world around a formula (names, user functions, limits), with no
// environment behind it.
#include "expr/scope.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/alg_string.h"
#include "base/errors.h"
#include "base/tokens.h"
#include "expr/evaluator.h"
#include "expr/fast_forms.h"
#include "expr/one_pass.h"
#include "test_support.h"

namespace {

class fake_scope final : public scope {
 public:
  std::map<std::string, alg_value> names;
  int32_t limit = 20;
  int name_lookups = 0;

  std::vector<std::string> looked_up;

  alg_value value_of(const alg_string& name) override {
    ++name_lookups;
    looked_up.push_back(B(name));
    const auto it = names.find(B(name.lower()));
    if (it == names.end()) throw z_x_var_notdefined(name);
    return it->second;
  }
  // Every user function takes one argument: `cond` hands back a
  // conditional on it, `wrap` its literal in two pairs of parentheses, any
  // other doubles it.
  alg_string call_user_function(const alg_string& name, const call_args& args,
                                uint32_t n) override {
    if (n != 1) throw z_x_toomanyparameters(name);
    const alg_string literal = literal_text(args[1]);
    if (name.view() == "cond") return alg_string("(zek_if(") + literal + "~grt~1,a,\"no\"))";
    if (name.view() == "wrap") return alg_string("((") + literal + "))";
    return alg_string("(") + literal + "~mul~2)";
  }
  void take(fast_forms forms) { forms_ = forms; }
  nesting_depths& depths() override { return depths_; }
  int32_t nesting_limit() const override { return limit; }
  int64_t& expansions() override { return expansions_; }
  void spend(uint64_t) override {}

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
    {"UserFunctionCountError", "twice(1, 2)", 20,
     "error while calling 'twice': too many parameters"},
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

// Long groups go through the one-sweep form: it must give what rewriting the
// text step by step gives (the value or the error, and the same lookups in
// the same order), also for operands the sweep hands back to the rewriting.
TEST(ScopeSweep, GivesWhatStepwiseRewritingGives) {
  const std::vector<std::string> operands = {"1", "2", "-3", "0", "2.5", "1e+20", "-1.5e-7", "inf",
                                             "a", "b", "-a", "zz", "pi", "\"ab\"", "\"\"",
                                             "\"a%20b\"", "", "2147483647", "1234567890",
                                             // operands the operand scans do not take whole
                                             "1,2", "\"a", "a\"b\"", "3-", "x(", "~"};
  std::mt19937 rng(2026);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  const auto tokens = operator_tokens();
  for (int round = 0; round < 4000; ++round) {
    std::string content;
    const size_t terms = 8 + pick(40);
    for (size_t i = 0; i < terms; ++i) {
      content += operands[pick(round % 3 == 0 ? operands.size() : operands.size() - 6)];
      if (i + 1 == terms) break;
      std::string token = tokens[pick(tokens.size())].token;
      if (pick(20) == 0) token[1] = static_cast<char>(token[1] - 32);  // ~Add~
      content += token;
    }
    while (content.size() < 64) content = "1~add~" + content;
    const auto outcome = [&](bool stepwise) {
      fake_scope s;
      s.names = {{"a", alg_value::of_integer(4)}, {"b", alg_value::of_text(S("x y"))}};
      alg_string text(S(content));
      std::string got;
      try {
        const alg_value v =
            stepwise ? reduce_operators_stepwise(s, text) : reduce_operators(s, text);
        got = B(literal_text(v));
      } catch (const z_x_algorithm& e) {
        got = "error: " + B(e.message);
      }
      for (const std::string& n : s.looked_up) got += "|" + n;
      return got;
    };
    ASSERT_EQ(outcome(false), outcome(true)) << content;
  }
}

// Conditionals and choices resolved in one pass must leave what resolving
// them one at a time leaves, evaluating the same selectors in the same
// order; also with names that meet the "(" of a chosen argument, unpaired
// parentheses and calls inside unchosen arguments.
TEST(ScopeConditionals, OnePassGivesWhatOneAtATimeGives) {
  const std::vector<std::string> atoms = {"1", "0", "2", "a", "b", "zz", "\"t\"", "3~add~a", ""};
  const std::vector<std::string> calls = {"zek_if(", "zek_choose(", "ZEK_IF(",
                                          "zek_if",  "zek_",        "("};
  std::mt19937 rng(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::function<std::string(int)> gen = [&](int depth) -> std::string {
    if (depth > 4 || pick(3) == 0) return atoms[pick(atoms.size())];
    std::string call = calls[pick(calls.size())];
    const size_t n = 1 + pick(4);
    for (size_t i = 0; i < n; ++i) call += (i ? "," : "") + gen(depth + 1);
    if (pick(12) != 0) call += ")";
    return call + (pick(4) == 0 ? "~mul~" + gen(depth + 1) : "");
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string text = "(" + gen(0) + ")";
    const auto outcome = [&](bool one_pass) {
      fake_scope s;
      s.names = {{"a", alg_value::of_integer(1)}, {"b", alg_value::of_integer(2)}};
      alg_string t(S(text));
      std::string got;
      try {
        if (one_pass) {
          EXPECT_TRUE(resolve_conditionals_in_one_pass(s, t));
        } else {
          while (t.char_at(1) == '(' &&
                 (t.find(1, S("zek_if("), true) != 0 || t.find(1, S("zek_choose("), true) != 0)) {
            resolve_conditional(s, t);
          }
        }
        got = B(t);
      } catch (const z_x_algorithm& e) {
        got = "error: " + B(e.message);
      }
      for (const std::string& n : s.looked_up) got += "|" + n;
      return got;
    };
    ASSERT_EQ(outcome(true), outcome(false)) << text;
  }
}

// Each one-pass reader, switched on alone or with the others, must leave
// what the reference rewriting (every fast form off) leaves: the same
// literal or error and the same names looked up in the same order. The
// formulas hold long groups (the sweep), groups and calls (the groups
// reader, also where a user function brings a conditional back), and
// conditionals and choices (the conditional reader).
struct forms_case {
  const char* name;
  fast_forms forms;
};
const forms_case kForms[] = {
    {"AllOn", fast_forms{}},
    {"SweepAlone", {false, true, false, false}},
    {"GroupsAlone", {false, false, true, false}},
    {"ConditionalsAlone", {false, false, false, true}},
    {"GroupsAndConditionals", {false, false, true, true}},
};

std::string rewritten(const std::string& formula, fast_forms forms) {
  fake_scope s;
  s.take(forms);
  s.names = {{"a", alg_value::of_integer(4)},
             {"b", alg_value::of_text(S("x y"))},
             {"c", alg_value::of_integer(0)}};
  alg_string text(S(formula));
  std::string got;
  try {
    evaluate_text(s, text, false);
    got = B(text);
  } catch (const z_x_algorithm& e) {
    got = "error: " + B(e.message);
  }
  for (const std::string& n : s.looked_up) got += "|" + n;
  return got;
}

const char* const kOnePassFormulas[] = {
    "1+2*3",
    "((1+2)*(3+4))-a",
    "twice(twice(a))+twice(1)",
    "wrap(a)*wrap(wrap(2))",
    "cond(a)&\"!\"",
    "cond(0)&cond(2)",
    "if(a>3,twice(a),zz)",
    "if(c,zz,choose(2,zz,a,zz))+1",
    "choose(if(a>1,2,1),\"p\",\"q\")&b",
    "choose(3,1,2)",
    "if(a,1)",
    "len(b)+mid(\"abcdef\",2,3)",
    "((1+2)",
    "(1+2))",
    "1+(2",
    "a+zz+twice(zz)",
    "1+2+3+4+5+6+7+8+9+10+11+12+13+14+15+16+17+18+19+20+21+22+23+24+25",
    "\"a\"&\"b\"&\"c\"&\"d\"&\"e\"&\"f\"&\"g\"&\"h\"&\"i\"&\"j\"&\"k\"&\"l\"&b",
    "a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a/(a-4)+twice(1)",
    "if(a>1,1+2+3+4+5+6+7+8+9+10+11+12+13+14+15+16,zz)",
};

class OnePassForms : public testing::TestWithParam<forms_case> {};

TEST_P(OnePassForms, TableGivesWhatTheReferenceGives) {
  for (const char* formula : kOnePassFormulas) {
    EXPECT_EQ(rewritten(formula, GetParam().forms), rewritten(formula, fast_forms::none()))
        << formula;
  }
}

TEST_P(OnePassForms, RandomSeriesGivesWhatTheReferenceGives) {
  const std::vector<std::string> atoms = {"1",     "0",   "2",  "a",  "b",     "c", "zz",
                                          "\"t\"", "2.5", "-a", "pi", "1e+20", ""};
  const std::vector<std::string> operators = {"+", "-", "*", "/", "&", ">", "=", " and ", "^"};
  const std::vector<std::string> calls = {"twice(", "cond(", "wrap(",   "len(",
                                          "(",      "if(",   "choose(", "abs("};
  std::mt19937 rng(2027);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::function<std::string(int)> gen = [&](int depth) -> std::string {
    std::string out;
    const size_t terms = 1 + pick(depth == 0 && pick(4) == 0 ? 30 : 4);
    for (size_t i = 0; i < terms; ++i) {
      if (i > 0) out += operators[pick(operators.size())];
      if (depth > 3 || pick(3) != 0) {
        out += atoms[pick(atoms.size())];
        continue;
      }
      const std::string call = calls[pick(calls.size())];
      const size_t args = call == "if(" ? 1 + pick(4) : call == "choose(" ? 1 + pick(4) : 1;
      out += call;
      for (size_t k = 0; k < args; ++k) out += (k ? "," : "") + gen(depth + 1);
      if (pick(30) != 0) out += ")";
    }
    return out;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::string formula = gen(0);
    ASSERT_EQ(rewritten(formula, GetParam().forms), rewritten(formula, fast_forms::none()))
        << formula;
  }
}

INSTANTIATE_TEST_SUITE_P(Evaluator, OnePassForms, testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
