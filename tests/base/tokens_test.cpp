#include "base/tokens.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "test_support.h"

namespace {

struct row {
  operator_id id;
  const char* token;
  const char* shown;
  int level;
  bool left;
  bool right;
};

// The operator table, row by row, in its order.
const row kTable[] = {
    {operator_id::fac, "~fac~", "!", 1, true, false},
    {operator_id::not_, "~not~", "not", 1, false, true},
    {operator_id::exp, "~exp~", "^", 2, true, true},
    {operator_id::mul, "~mul~", "*", 3, true, true},
    {operator_id::div, "~div~", "/", 3, true, true},
    {operator_id::idv, "~idv~", "\\", 3, true, true},
    {operator_id::mod, "~mod~", "mod", 3, true, true},
    {operator_id::rem, "~rem~", "rem", 3, true, true},
    {operator_id::add, "~add~", "+", 4, true, true},
    {operator_id::sub, "~sub~", "-", 4, true, true},
    {operator_id::cat, "~cat~", "&", 5, true, true},
    {operator_id::lss, "~lss~", "<", 6, true, true},
    {operator_id::grt, "~grt~", ">", 6, true, true},
    {operator_id::leq, "~leq~", "<=", 6, true, true},
    {operator_id::geq, "~geq~", ">=", 6, true, true},
    {operator_id::eql, "~eql~", "=", 7, true, true},
    {operator_id::neq, "~neq~", "<>", 7, true, true},
    {operator_id::eqv, "~eqv~", "eqv", 8, true, true},
    {operator_id::and_, "~and~", "and", 9, true, true},
    {operator_id::ior, "~ior~", "or", 10, true, true},
    {operator_id::xor_, "~xor~", "xor", 10, true, true},
    {operator_id::imp, "~imp~", "imp", 11, true, true},
};

TEST(Tokens, TwentyTwoRowsAsSpecified) {
  const auto rows = operator_tokens();
  ASSERT_EQ(rows.size(), 22u);
  ASSERT_EQ(std::size(kTable), 22u);
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(kTable[i].token);
    EXPECT_EQ(rows[i].id, kTable[i].id);
    EXPECT_STREQ(rows[i].token, kTable[i].token);
    EXPECT_STREQ(rows[i].shown, kTable[i].shown);
    EXPECT_EQ(rows[i].level, kTable[i].level);
    EXPECT_EQ(rows[i].takes_left, kTable[i].left);
    EXPECT_EQ(rows[i].takes_right, kTable[i].right);
  }
}

TEST(Tokens, TokensAreFiveBytesUniqueLowerCase) {
  std::set<std::string> seen;
  for (const operator_token& t : operator_tokens()) {
    const std::string s = t.token;
    ASSERT_EQ(s.size(), token_length) << s;
    EXPECT_EQ(s.front(), '~');
    EXPECT_EQ(s.back(), '~');
    for (size_t i = 1; i <= 3; ++i) EXPECT_TRUE(s[i] >= 'a' && s[i] <= 'z') << s;
    EXPECT_TRUE(seen.insert(s).second) << s;
    EXPECT_EQ(std::string(t.shown).find('~'), std::string::npos);
  }
}

TEST(Tokens, LookupById) {
  for (const row& r : kTable) {
    EXPECT_STREQ(token_of(r.id).token, r.token);
    EXPECT_EQ(B(token_text(r.id)), r.token);
  }
}

TEST(Tokens, LevelTokens) {
  const size_t expected[operator_level_count + 1] = {0, 2, 1, 5, 2, 1, 4, 2, 1, 1, 2, 1};
  size_t total = 0;
  for (int level = 1; level <= operator_level_count; ++level) {
    const auto tokens = level_tokens(level);
    EXPECT_EQ(tokens.size(), expected[level]) << "level " << level;
    total += tokens.size();
    for (const alg_string& t : tokens) {
      const operator_token* row = token_at(t, 1);
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->level, level);
    }
  }
  EXPECT_EQ(total, 22u);
  EXPECT_TRUE(level_tokens(0).empty());
  EXPECT_TRUE(level_tokens(12).empty());
  EXPECT_TRUE(level_tokens(-1).empty());
  // Within a level the tokens keep table order.
  ASSERT_EQ(level_tokens(3).size(), 5u);
  EXPECT_EQ(B(level_tokens(3)[0]), "~mul~");
  EXPECT_EQ(B(level_tokens(3)[4]), "~rem~");
}

TEST(Tokens, TokenAt) {
  const alg_string t("x~add~1~");
  ASSERT_NE(token_at(t, 2), nullptr);
  EXPECT_EQ(token_at(t, 2)->id, operator_id::add);
  EXPECT_EQ(token_at(t, 0), nullptr);
  EXPECT_EQ(token_at(t, 1), nullptr);
  EXPECT_EQ(token_at(t, 6), nullptr);  // "~1~" runs past the end
  EXPECT_EQ(token_at(t, 8), nullptr);
  EXPECT_EQ(token_at(t, 100), nullptr);
  EXPECT_EQ(token_at(alg_string("~ADD~"), 1), nullptr);  // tokens are lower case
  EXPECT_EQ(token_at(alg_string("~abc~"), 1), nullptr);
  EXPECT_EQ(token_at(alg_string("~add"), 1), nullptr);
  EXPECT_EQ(token_at(alg_string(""), 1), nullptr);
}

TEST(Tokens, FieldSeparator) { EXPECT_EQ(B(field_separator()), "|"); }

struct text_case {
  const char* name;
  std::string in;
  std::string out;
};

const text_case kToText[] = {
    {"AddSub", "x~add~1~sub~y", "x+1-y"},
    {"ExpFac", "(2~exp~3)~fac~", "(2^3)!"},
    {"Empty", "", ""},
    {"NoTokens", "a+b", "a+b"},
    {"LoneTilde", "~", "~"},
    {"TildeAtEnd", "a~", "a~"},
    {"UnknownToken", "~abc~", "~abc~"},
    {"UnknownThenKnown", "~abc~add~", "~abc+"},
    {"TildeBeforeToken", "~~add~", "~+"},
    {"ShortToken", "~add", "~add"},
    {"UpperCaseStays", "1~ADD~2", "1~ADD~2"},
    {"ReplacedTextNotRescanned", "~ad~add~d~", "~ad+d~"},
    {"Adjacent", "~leq~~geq~", "<=>="},
    {"Words", "a~and~b~ior~c~xor~d~imp~e~eqv~f", "aandborcxordimpeeqvf"},
    {"Not", "~not~x", "notx"},
    {"Backslash", "7~idv~2", "7\\2"},
    {"Division", "a~div~0", "a/0"},
    {"Compare", "a~lss~b~grt~c~eql~d~neq~e", "a<b>c=d<>e"},
    {"Mod", "a~mod~b~rem~c~mul~d~cat~e", "amodbremc*d&e"},
};

class OperatorsToText : public testing::TestWithParam<text_case> {};

TEST_P(OperatorsToText, ShowsOperators) {
  EXPECT_EQ(B(operators_to_text(S(GetParam().in))), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Cases, OperatorsToText, testing::ValuesIn(kToText),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Tokens, EveryTokenShown) {
  std::string all_tokens;
  std::string all_shown;
  for (const row& r : kTable) {
    all_tokens += r.token;
    all_shown += r.shown;
    EXPECT_EQ(B(operators_to_text(alg_string(r.token))), r.shown);
  }
  EXPECT_EQ(B(operators_to_text(S(all_tokens))), all_shown);
}

}  // namespace
