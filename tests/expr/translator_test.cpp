#include "expr/translator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/tokens.h"
#include "test_support.h"
#include "value/literal_codec.h"

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
// The simple reference form of translate_formula: the translator as it was
// before fencing went into one sweep, with every '(' and ')' inserted into
// the text in turn and every operand found again by walking the text. It is
// quadratic on long formulas and is kept here, and only here, to check the
// translator against byte for byte.

namespace reference_form {

constexpr int kEnDash = 150;

int byte_at(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_name_byte(int c) { return c == '.' || c == '_' || is_digit(c) || is_letter(c); }
bool is_sign(int c) { return c == '+' || c == '-' || c == kEnDash; }
bool one_of(std::string_view set, int c) { return set.find(static_cast<char>(c)) != set.npos; }
bool ends_name(int c) { return one_of(",~+-()\"|", c); }
bool starts_operand_context(int c) { return one_of("+-(~,|", c); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

size_t name_start(std::string_view s, size_t open) {
  size_t j = open;
  while (j > 0 && !ends_name(byte_at(s, j - 1))) --j;
  return j;
}

size_t left_operand_start(std::string_view s, size_t t) {
  if (t == 0) return 0;
  if (s[t - 1] == '"') {
    const size_t open = t >= 2 ? s.rfind('"', t - 2) : std::string_view::npos;
    return open == std::string_view::npos ? 0 : open;
  }
  if (s[t - 1] == ')') {
    size_t depth = 0;
    for (size_t j = t; j > 0; --j) {
      if (s[j - 1] == ')') {
        ++depth;
      } else if (s[j - 1] == '(' && --depth == 0) {
        return name_start(s, j - 1);
      }
    }
    return 0;
  }
  size_t j = t;
  while (j > 0 && (is_name_byte(byte_at(s, j - 1)) || is_sign(byte_at(s, j - 1)))) --j;
  return j;
}

size_t right_operand_end(std::string_view s, size_t r) {
  const size_t n = s.size();
  if (r >= n) return n;
  if (s[r] == '"') {
    const size_t close = s.find('"', r + 1);
    return close == std::string_view::npos ? n : close + 1;
  }
  bool name_seen = false;
  size_t j = r;
  while (j < n) {
    const int c = byte_at(s, j);
    if (is_sign(c)) {
      if (name_seen && !(j > r && (s[j - 1] == 'e' || s[j - 1] == 'E'))) break;
      ++j;
    } else if (is_name_byte(c)) {
      name_seen = true;
      ++j;
    } else if (c == '(') {
      size_t depth = 0;
      for (size_t k = j; k < n; ++k) {
        if (s[k] == '(') {
          ++depth;
        } else if (s[k] == ')' && --depth == 0) {
          return k + 1;
        }
      }
      return n;
    } else {
      break;
    }
  }
  return j;
}

std::string replace_word_bytes(std::string_view s, std::string_view word, std::string_view with) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    bool match = s.size() - i >= word.size();
    for (size_t k = 0; match && k < word.size(); ++k) match = lower(s[i + k]) == lower(word[k]);
    if (!match) {
      out += s[i++];
      continue;
    }
    const auto delimits = [](int c) { return c == ' ' || ends_name(c); };
    const bool open_after = i + word.size() == s.size() || delimits(byte_at(s, i + word.size()));
    if ((out.empty() || delimits(static_cast<unsigned char>(out.back()))) && open_after) {
      out += with;
    } else {
      out.append(s.substr(i, word.size()));
    }
    i += word.size();
  }
  return out;
}

bool quote_is_escaped(std::string_view s, size_t quote) {
  size_t run = 0;
  while (run < quote && s[quote - 1 - run] == '\\') ++run;
  return run % 2 == 1;
}

std::string encode_string_literals(std::string_view s) {
  std::string out;
  size_t copied = 0;
  size_t open = s.find('"');
  while (open != std::string_view::npos) {
    size_t close = s.find('"', open + 1);
    while (close != std::string_view::npos && quote_is_escaped(s, close)) {
      close = s.find('"', close + 1);
    }
    if (close == std::string_view::npos) break;
    out.append(s.substr(copied, open + 1 - copied));
    out += encode_literal(unescape_literal(alg_string(s.substr(open + 1, close - open - 1)))).str();
    out += '"';
    copied = close + 1;
    open = close + 1 < s.size() ? s.find('"', close + 1) : std::string_view::npos;
  }
  return out.append(s.substr(copied));
}

std::string replace_all(std::string_view s, std::string_view find, std::string_view with) {
  std::string out;
  size_t i = 0;
  for (size_t at = s.find(find); at != std::string_view::npos; at = s.find(find, i)) {
    out.append(s.substr(i, at - i)).append(with);
    i = at + find.size();
  }
  return out.append(s.substr(i));
}

bool is_exponent_mark(std::string_view s, size_t e) {
  for (size_t j = e; j > 0; --j) {
    const int c = byte_at(s, j - 1);
    if (is_digit(c) || c == '.') continue;
    if (is_sign(c)) return true;
    return !(is_letter(c) || c == '_');
  }
  return true;
}

std::string mark_between_operands(std::string_view s, char sign, std::string_view token) {
  std::string out;
  for (const char c : s) {
    bool stays_sign = c != sign;
    if (!stays_sign && !out.empty()) {
      const size_t last = out.size() - 1;
      const int before = static_cast<unsigned char>(out[last]);
      if (starts_operand_context(before)) {
        stays_sign = true;
      } else if (before == 'e' && last > 0) {
        const int ahead = static_cast<unsigned char>(out[last - 1]);
        stays_sign = (is_digit(ahead) || ahead == '-') && is_exponent_mark(out, last);
      }
    }
    if (stays_sign) {
      out += c;
    } else {
      out += token;
    }
  }
  return out;
}

void fence_operator(std::string& s, std::string_view token, bool takes_right) {
  for (size_t t = s.find(token); t != std::string::npos; t = s.find(token, t + 2)) {
    size_t start = left_operand_start(s, t);
    while (start < t && (s[start] == '+' || s[start] == '-')) ++start;
    const size_t close = takes_right ? right_operand_end(s, t + token_length) : t + token_length;
    s.insert(close, 1, ')');
    s.insert(start, 1, '(');
  }
}

std::string translate(const std::string& formula) {
  const auto tok = [](operator_id id) { return token_text(id).view(); };
  const std::pair<const char*, operator_id> symbols[] = {
      {"!", operator_id::fac},  {"^", operator_id::exp},  {"*", operator_id::mul},
      {"/", operator_id::div},  {"\\", operator_id::idv}, {"&", operator_id::cat},
      {"<>", operator_id::neq}, {"<=", operator_id::leq}, {"=<", operator_id::leq},
      {">=", operator_id::geq}, {"=>", operator_id::geq}, {"<", operator_id::lss},
      {">", operator_id::grt},  {"==", operator_id::eql}, {"=", operator_id::eql},
  };
  const std::pair<const char*, std::string_view> words[] = {
      {"mod", tok(operator_id::mod)},
      {"rem", tok(operator_id::rem)},
      {"not", tok(operator_id::not_)},
      {"eqv", tok(operator_id::eqv)},
      {"and", tok(operator_id::and_)},
      {"xor", tok(operator_id::xor_)},
      {"or", tok(operator_id::ior)},
      {"imp", tok(operator_id::imp)},
      {"if", "zek_if"},
      {"choose", "zek_choose"},
  };
  std::string s = "(" + encode_string_literals(formula) + ")";
  for (const auto& [symbol, id] : symbols) s = replace_all(s, symbol, tok(id));
  for (const auto& [word, with] : words) s = replace_word_bytes(s, word, with);
  s = replace_all(s, " ", "");
  s = mark_between_operands(s, '-', tok(operator_id::sub));
  s = mark_between_operands(s, '+', tok(operator_id::add));
  fence_operator(s, tok(operator_id::fac), false);
  fence_operator(s, tok(operator_id::exp), true);
  return s;
}

}  // namespace reference_form

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
    {"LiteralHoldingConditionalName", "if(a, \"if\", \"choose\")",
     "(zek_if(a,\"zek_if\",\"zek_choose\"))"},
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

// ---------------------------------------------------------------------------
// The translator against the reference form, byte for byte: stored results
// depend on the operator form, so no formula may come out differently.

TEST(TranslateAsReference, SeededRandomFormulas) {
  // Pieces that reach every rule: numbers and exponents, names, every symbol
  // and sign, word operators in mixed case, written tokens, quotes and escapes.
  const char* const pieces[] = {
      "0",    "1",    "12",     "3.5",     ".",      "e",    "E",       "x",      "a",     "_",
      "f",    " ",    "  ",     "+",       "-",      "\x96", "*",       "/",      "\\",    "^",
      "!",    "&",    "<",      ">",       "=",      "<>",   "<=",      "=<",     ">=",    "=>",
      "==",   ",",    "(",      ")",       "((",     "))",   "\"",      "\\\"",   "\\\\",  "~",
      "|",    "$",    "1e-5",   "2E+3",    "x2e-",   "mod",  "MOD",     "Rem",    "not",   "eqV",
      "aNd",  "oR",   "Xor",    "imp",     "if(",    "IF",   "choose(", "Choose", "~fac~", "~exp~",
      "exp~", "fac~", "sin(x)", "\"a b\"", "\"or\"", "-(",   "e-",      "!^",     "^-"};
  // Fewer pieces, so that quotes, groups and fenced operators meet often.
  const char* const fence_pieces[] = {"(", ")",   "\"", "\\\"",  "!", "^", "x",  "1",  "-",
                                      "e", "fn(", "$",  "~exp~", "+", " ", ")!", "\"^"};
  std::mt19937 rng(20240917u);
  size_t total_bytes = 0;
  for (int round = 0; round < 20000; ++round) {
    const bool fence_only = round % 3 == 0;
    const int count = static_cast<int>(rng() % (round % 10 == 0 ? 80 : 24));
    std::string formula;
    for (int i = 0; i < count; ++i) {
      const uint32_t roll = rng() % 64;
      if (roll == 0) {
        formula += '\0';
      } else if (roll == 1) {
        formula += static_cast<char>(128 + rng() % 128);
      } else if (fence_only) {
        formula += fence_pieces[rng() % std::size(fence_pieces)];
      } else {
        formula += pieces[rng() % std::size(pieces)];
      }
    }
    total_bytes += formula.size();
    ASSERT_EQ(translated(formula), reference_form::translate(formula))
        << testing::PrintToString(formula);
  }
  EXPECT_GT(total_bytes, 200000u);
}

TEST(TranslateAsReference, LongChainsAndGroups) {
  std::mt19937 rng(99u);
  std::string random_fences;
  const std::string alphabet = "()\"\\!^x1-e$~ ";
  for (int i = 0; i < 6000; ++i) random_fences += alphabet[rng() % alphabet.size()];
  const std::string formulas[] = {
      "1" + repeated("^1", 2000),
      "1" + repeated("!", 2000),
      "\"a\"" + repeated("&\"a\"", 1000),
      "1" + repeated(" and 1", 1000),
      "1" + repeated("+1", 2000),
      repeated("if(1,", 500) + "1" + repeated(",0)", 500),
      repeated("(", 1000) + "2" + repeated("^", 500) + repeated(")", 1000),
      repeated("(", 1000) + "1!" + repeated(")!", 1000),
      "(1)" + repeated("^(1)", 1000),
      "x" + repeated("!^2!", 500),
      repeated("f(x)^", 1000),
      repeated("2^(", 1000) + "1" + repeated(")", 1000),
      repeated(")!", 1000),
      repeated("1^(", 1000),
      repeated("x)^", 1000) + repeated("(", 500),
      "\"" + repeated("(\\\"!", 500),
      "\"" + repeated("a\\\"^(\\\")^", 500),
      std::string(1000, '$') + "(1)" + repeated("!^1", 500),
      repeated("1e", 1000) + "-1" + repeated("e-", 1000),
      random_fences,
  };
  for (const std::string& formula : formulas) {
    ASSERT_EQ(translated(formula), reference_form::translate(formula)) << formula.substr(0, 40);
  }
}

}  // namespace
