#include "expr/translator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

template <typename Row>
std::string row_name(const testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

std::string translated(const std::string& formula) {
  alg_string text = S(formula);
  translate_formula(text);
  return B(text);
}

// ---------------------------------------------------------------------------

struct FormulaCase {
  std::string name;
  std::string written;
  std::string operator_form;
};

const FormulaCase kFormulaCases[] = {
    {"PrecedenceExample", "3 + 4*2^2 mod 5", "(3~add~4~mul~(2~exp~2)~mod~5)"},
    {"ConditionalExample", "if(x >= 10, 1, -x!)", "(zek_if(x~geq~10,1,-(x~fac~)))"},
    {"SignOutsidePower", "-2^2", "(-(2~exp~2))"},
    {"SignedExponent", "2^-2", "((2~exp~-2))"},
    {"PowerChainFromLeft", "2^3^2", "(((2~exp~3)~exp~2))"},
    {"PowerOfGroup", "2^(3^2)", "((2~exp~((3~exp~2))))"},
    {"PowerOfFactorial", "2^3!", "((2~exp~(3~fac~)))"},
    {"FactorialOfCall", "sin(x)!", "((sin(x)~fac~))"},
    {"FactorialTwice", "x!!", "(((x~fac~)~fac~))"},
    {"FactorialOfSignedGroup", "-(3)!", "(-((3)~fac~))"},
    {"PowerOfLiteral", "\"ab\"^2", "((\"ab\"~exp~2))"},
    {"NoNotEqualOperator", "x != 1", "((x~fac~)~eql~1)"},
    {"MinusThenSign", "1--2", "(1~sub~-2)"},
    {"SignBeforeGroup", "-(3)", "(-(3))"},
    {"MinusBeforeGroup", "a-(3)", "(a~sub~(3))"},
    {"SignAfterSeparator", "a|-b", "(a|-b)"},
    {"ExponentSignKept", "2e-3", "(2e-3)"},
    {"ExponentAfterPoint", ".5e-1", "(.5e-1)"},
    {"ExponentAfterSum", "1+2e-3", "(1~add~2e-3)"},
    {"NameEndingInE", "x2e-3", "(x2e~sub~3)"},
    {"UpperCaseE", "2E-3", "(2E~sub~3)"},
    {"WordOperatorsAnyCase", "5 MOD 3 Mod 2 mod 1", "(5~mod~3~mod~2~mod~1)"},
    {"ConditionalUpperCase", "IF(a, b, c)", "(zek_if(a,b,c))"},
    {"Choice", "Choose(2, a, b)", "(zek_choose(2,a,b))"},
    {"WordNeedsBoundary", "5mod3", "(5mod3)"},
    {"XorBeforeOr", "x xor y or z", "(x~xor~y~ior~z)"},
    {"OtherWords", "not a and b eqv c imp d rem e", "(~not~a~and~b~eqv~c~imp~d~rem~e)"},
    {"NotEqual", "a <> b", "(a~neq~b)"},
    {"Symbols", "a/b\\c&d<e>f", "(a~div~b~idv~c~cat~d~lss~e~grt~f)"},
    {"TwoByteSymbolsFirst", "a<=b=<c>=d=>e==f=g<>h",
     "(a~leq~b~leq~c~geq~d~geq~e~eql~f~eql~g~neq~h)"},
    {"EmptyFormula", "", "()"},
    {"LiteralSpace", "\"a b\"", "(\"a%20b\")"},
    {"LiteralNewline", "\"a\\nb\"", "(\"a%0Ab\")"},
    {"LiteralEscapedQuotes", "\"say \\\"hi\\\"\"", "(\"say%20%22hi%22\")"},
    {"LiteralEndsInBackslash", "\"a\\\\\" & \"b\"", "(\"a%5C\"~cat~\"b\")"},
    {"LiteralSymbolsSafe", "\"(1+2)*3\" & x", "(\"%281%2B2%29%2A3\"~cat~x)"},
    {"UnclosedLiteral", "\"x\" & \"ab c", "(\"x\"~cat~\"abc)"},
    {"LiteralHoldingWordOperator", "\"mod\" & \"OR\"", "(\"~mod~\"~cat~\"~ior~\")"},
    {"LiteralHoldingConditionalName", "if(a, \"if\", \"choose\")", "(zek_if(a,\"zek_if\",\"zek_choose\"))"},
};

class TranslateFormula : public testing::TestWithParam<FormulaCase> {};

TEST_P(TranslateFormula, GivesOperatorForm) {
  EXPECT_EQ(translated(GetParam().written), GetParam().operator_form);
}

INSTANTIATE_TEST_SUITE_P(Written, TranslateFormula, testing::ValuesIn(kFormulaCases),
                         row_name<FormulaCase>);

// ---------------------------------------------------------------------------

struct OperandCase {
  std::string name;
  std::string text;
  uint32_t token_pos;
  scan_mode mode;
  std::string left;
  std::string right;
};

constexpr scan_mode kTr = scan_mode::translator;
constexpr scan_mode kEv = scan_mode::evaluator;

const OperandCase kOperandCases[] = {
    {"CallIsOneOperand", "(sin(x)~exp~2)", 8, kTr, "sin(x)", "2"},
    {"EvaluatorStopsAtParenthesis", "(sin(x)~exp~2)", 8, kEv, "", "2"},
    {"SignedGroupOnRight", "(2~exp~-(1~add~1))", 3, kTr, "2", "-(1~add~1)"},
    {"EvaluatorSignOnlyBeforeGroup", "(2~exp~-(1~add~1))", 3, kEv, "2", "-"},
    {"CallOnRight", "(2~exp~max(1,2)~add~1)", 3, kTr, "2", "max(1,2)"},
    {"Literals", "(\"a\"~cat~\"b%20\")", 5, kEv, "\"a\"", "\"b%20\""},
    {"ExponentSignInRight", "(1~add~2e-3~sub~1)", 3, kEv, "1", "2e-3"},
    {"LeadingSignsInRight", "(1~sub~--2)", 3, kEv, "1", "--2"},
    {"SignAfterDigitEndsRight", "(1~add~2-3)", 3, kEv, "1", "2"},
    {"EnDashLeadsRight", "(1~sub~" + kDash + "2)", 3, kEv, "1", kDash + "2"},
    {"SignsInLeft", "(-x~fac~)", 4, kEv, "-x", ""},
    {"SignsAndNameInLeft", "(a,-b_1.5~mul~c)", 10, kTr, "-b_1.5", "c"},
    {"TokenAtStart", "~fac~", 1, kTr, "", ""},
    {"CutTokenAtEnd", "x~fa", 2, kTr, "x", ""},
    {"PositionPastEnd", "x", 10, kTr, "x", ""},
    {"UnbalancedLeftGroup", "a)~exp~2", 3, kTr, "a)", "2"},
    {"UnbalancedRightGroup", "2~exp~(3~add~(4", 2, kTr, "2", "(3~add~(4"},
    {"UnmatchedQuoteOnLeft", "a\"~cat~b", 3, kEv, "a\"", "b"},
    {"UnmatchedQuoteOnRight", "a~cat~\"b", 2, kEv, "a", "\"b"},
};

class ExtractOperands : public testing::TestWithParam<OperandCase> {};

TEST_P(ExtractOperands, SplitsAtToken) {
  const OperandCase& c = GetParam();
  alg_string left("stale");
  alg_string right("stale");
  extract_operands(S(c.text), c.token_pos, c.mode, left, right);
  EXPECT_EQ(B(left), c.left);
  EXPECT_EQ(B(right), c.right);
}

INSTANTIATE_TEST_SUITE_P(Tokens, ExtractOperands, testing::ValuesIn(kOperandCases),
                         row_name<OperandCase>);

TEST(ExtractOperandsAliasing, OutputMayBeTheInput) {
  alg_string text("(a~add~b)");
  alg_string right;
  extract_operands(text, 3, kEv, text, right);
  EXPECT_EQ(B(text), "a");
  EXPECT_EQ(B(right), "b");
}

// ---------------------------------------------------------------------------

struct NameCase {
  std::string name;
  std::string text;
  uint32_t open_pos;
  std::string expected;
};

// clang-format off
const NameCase kNameCases[] = {
    {"Call", "(sin(x))", 5, "sin"},
    {"CallAfterToken", "(1~add~f(x))", 9, "f"},
    {"PlainGroup", "((x))", 2, ""},
    {"PositionZero", "(x)", 0, ""},
    {"AfterComma", "a,b(c", 4, "b"},
    {"AfterSeparator", "x|g(1)", 4, "g"},
    {"AfterQuote", "\"a\"h(1)", 5, "h"},
    {"BackToStart", "zek_if(", 7, "zek_if"},
    {"PositionPastEnd", "ab", 9, "ab"},
};
// clang-format on

class NameBefore : public testing::TestWithParam<NameCase> {};

TEST_P(NameBefore, ReadsBackToDelimiter) {
  EXPECT_EQ(B(name_before(S(GetParam().text), GetParam().open_pos)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Groups, NameBefore, testing::ValuesIn(kNameCases), row_name<NameCase>);

// ---------------------------------------------------------------------------

struct WordCase {
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> replacements;
  std::string expected;
};

const WordCase kWordCases[] = {
    {"ParametersInOrder", "(a~add~ab)", {{"a", "1"}, {"ab", "2"}}, "(1~add~2)"},
    {"NotInsideCallName", "(max(2,3))", {{"x", "1"}}, "(max(2,3))"},
    {"AnyCase", "(A~add~a)", {{"a", "5"}}, "(5~add~5)"},
    {"TildeIsDelimiter", "(add~add~1)", {{"add", "2"}}, "(2~2~1)"},
    {"Delimiters", "x,x x+x-x(x)x\"x\"x|x", {{"x", "1"}}, "1,1 1+1-1(1)1\"1\"1|1"},
    {"RejectedMatchSkipsWord", "xa-a-a", {{"a-a", "1"}}, "xa-a-a"},
    {"RejectedMatchInsideLongerWord", "aaa,aa", {{"aa", "X"}}, "aaa,X"},
    {"ReplacementHoldsWord", "x", {{"x", "x,x"}}, "x,x"},
    {"ReplacementNotSearchedAgain", "a,a", {{"a", "a a"}}, "a a,a a"},
    {"EmptyWord", "a,a", {{"", "1"}}, "a,a"},
};

class ReplaceWord : public testing::TestWithParam<WordCase> {};

TEST_P(ReplaceWord, ReplacesWholeWords) {
  alg_string text = S(GetParam().text);
  for (const auto& [word, replacement] : GetParam().replacements) {
    text = replace_word(text, S(word), S(replacement));
  }
  EXPECT_EQ(B(text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Words, ReplaceWord, testing::ValuesIn(kWordCases), row_name<WordCase>);

// ---------------------------------------------------------------------------
// Authors' formulas can be anything. These only ask that translation ends
// and, under the sanitizers, that no scan reads outside the text.

const char* const kSeedFormulas[] = {
    "3 + 4*2^2 mod 5",
    "if(x >= 10, 1, -x!)",
    "choose(2, \"a b\", \"say \\\"hi\\\"\") & \"x\\n\"",
    "-(2^-3)^sin(x)! <> (a or b xor not c)",
    "f(1e-5, x2e+3, -(3), \"\\x41\\\\\")|max(1,2)",
};

void check_translation_of(const std::string& formula) {
  alg_string text = S(formula);
  translate_formula(text);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.char_at(1), '(');
  EXPECT_EQ(B(text).find(' '), std::string::npos);
  // The scanners on the result at every position, both modes.
  alg_string left;
  alg_string right;
  for (uint32_t p = 0; p <= text.length() + 6; ++p) {
    extract_operands(text, p, scan_mode::translator, left, right);
    extract_operands(text, p, scan_mode::evaluator, left, right);
    name_before(text, p);
  }
}

TEST(TranslateRobustness, EveryPrefixOfValidFormulas) {
  for (const char* formula : kSeedFormulas) {
    const std::string whole(formula);
    for (size_t n = 0; n <= whole.size(); ++n) {
      SCOPED_TRACE(whole.substr(0, n));
      check_translation_of(whole.substr(0, n));
    }
  }
}

TEST(TranslateRobustness, SeededMutationsOfValidFormulas) {
  std::mt19937 rng(20240611u);
  const std::string specials = "()\"~\\!^+-e,|  ";
  auto random_byte = [&]() -> char {
    if (rng() % 2 == 0) return specials[rng() % specials.size()];
    return static_cast<char>(rng() % 256);  // NUL and bytes 128-255 included
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text = kSeedFormulas[rng() % std::size(kSeedFormulas)];
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const size_t at = rng() % text.size();
      switch (rng() % 5) {
        case 0:
          text.erase(at, 1);
          break;
        case 1:
          text.insert(at, 1, random_byte());
          break;
        case 2:
          text[at] = random_byte();
          break;
        case 3:
          text.resize(at);
          break;
        default:
          text.insert(at, text.substr(at, rng() % 8));
          break;
      }
    }
    SCOPED_TRACE(text);
    check_translation_of(text);
  }
}

TEST(TranslateRobustness, LongTexts) {
  std::mt19937 rng(7u);
  const std::string alphabet = "()\"~\\!^+-*e1x, |";
  std::string random_text(100000, ' ');
  for (char& c : random_text) c = alphabet[rng() % alphabet.size()];
  std::string repeated;
  while (repeated.size() < 100000) repeated += "-a^2! + sin(x)^-3 mod 2 - \"q r\" & ";
  const std::string texts[] = {
      random_text,
      repeated,
      std::string(100000, '('),
      std::string(100000, ')'),
      std::string(100000, '"'),
      std::string(100000, '\\'),
      std::string(100000, '\0'),
      std::string(100000, '-'),
      "x" + std::string(3000, '!'),
      std::string(50000, '(') + "2" + std::string(2000, '^') + std::string(50000, ')'),
  };
  for (const std::string& text : texts) {
    alg_string t = S(text);
    translate_formula(t);
    EXPECT_EQ(t.char_at(1), '(');
  }
}

TEST(TranslateRobustness, ThousandsOfOperators) {
  std::string formula = "1";
  const char* const pieces[] = {" + x^2", "*-y!", " mod 7"};
  for (int i = 0; i < 4000; ++i) formula += pieces[i % 3];
  alg_string text = S(formula);
  translate_formula(text);
  EXPECT_EQ(B(text).substr(0, 19), "(1~add~(x~exp~2)~mu");
}

}  // namespace
