#include "base/alg_string.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "test_support.h"

namespace {

TEST(AlgString, ConstructorsKeepEmbeddedNuls) {
  EXPECT_EQ(alg_string(std::string_view("a\0b", 3)).length(), 3u);
  const alg_string nul('\0');
  EXPECT_EQ(nul.length(), 1u);
  EXPECT_STREQ(nul.c_str(), "");
  EXPECT_EQ(alg_string(static_cast<const char*>(nullptr)).length(), 0u);
  EXPECT_EQ(B(alg_string::fill(3, 'x')), "xxx");
  EXPECT_EQ(B(alg_string("ab\0cd")), "ab");
}

TEST(AlgString, CharAtReadsUnsignedBytes) {
  const alg_string s = S("a\xC8");
  EXPECT_EQ(s.char_at(0), 0);
  EXPECT_EQ(s.char_at(1), 'a');
  EXPECT_EQ(s.char_at(2), 200);
  EXPECT_EQ(s.char_at(3), 0);
}

struct substring_case {
  const char* name;
  std::string (*op)();
  const char* expected;
};

const substring_case kSubstrings[] = {
    {"MidClipsCount", [] { return B(alg_string("abcdef").mid(3, 10)); }, "cdef"},
    {"MidPastEnd", [] { return B(alg_string("abc").mid(4, 1)); }, ""},
    {"MidStartZero", [] { return B(alg_string("abc").mid(0, 2)); }, ""},
    {"MidCountZero", [] { return B(alg_string("abc").mid(2, 0)); }, ""},
    {"FromZero", [] { return B(alg_string("abc").from(0)); }, ""},
    {"FromTwo", [] { return B(alg_string("abc").from(2)); }, "bc"},
    {"RightLong", [] { return B(alg_string("abc").right(5)); }, "abc"},
    {"RightTwo", [] { return B(alg_string("abc").right(2)); }, "bc"},
    {"LeftZero", [] { return B(alg_string("abc").left(0)); }, ""},
    {"LeftLong", [] { return B(alg_string("abc").left(9)); }, "abc"},
    {"SpliceMiddle", [] { return B(alg_string("abcdef").splice("XY", 2, 3)); }, "aXYef"},
    {"SpliceCountClipped", [] { return B(alg_string("abcdef").splice("XY", 5, 10)); }, "abcdXY"},
    {"SpliceInsert", [] { return B(alg_string("abc").splice("X", 1, 0)); }, "Xabc"},
    {"ReplaceSkipsInserted", [] { return B(alg_string("a-b-c").replace_all("-", "--", false)); },
     "a--b--c"},
    {"ReplaceIgnoringCase", [] { return B(alg_string("xAx").replace_all("a", "aa", true)); },
     "xaax"},
    {"ReplaceAtEnd", [] { return B(alg_string("aa").replace_all("a", "b", false)); }, "bb"},
    {"Upper", [] { return B(S("az\xE9").upper()); }, "AZ\xE9"},
    {"Lower", [] { return B(S("AZ\xC9").lower()); }, "az\xC9"},
    {"TrimSpacesOnly", [] { return B(alg_string(" a b ").trim()); }, "a b"},
    {"TrimKeepsTab", [] { return B(alg_string("\ta ").trim()); }, "\ta"},
    {"RtrimAllSpaces", [] { return B(alg_string("   ").rtrim()); }, ""},
    {"LtrimEmpty", [] { return B(alg_string("").ltrim()); }, ""},
    {"CutAtNul", [] { return B(S(std::string("ab\0cd", 5)).cut_at_nul()); }, "ab"},
    {"Concat", [] { return B("x" + alg_string("y") + "z"); }, "xyz"},
};

class AlgStringSubstring : public testing::TestWithParam<substring_case> {};

TEST_P(AlgStringSubstring, GivesExpectedBytes) { EXPECT_EQ(GetParam().op(), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, AlgStringSubstring, testing::ValuesIn(kSubstrings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AlgString, SpliceOutsideThrows) {
  EXPECT_THROW((void)alg_string("abcdef").splice("X", 7, 1), z_x_illegal_index);
  EXPECT_THROW((void)alg_string("abc").splice("X", 0, 1), z_x_illegal_index);
  EXPECT_THROW((void)alg_string("").splice("X", 1, 0), z_x_illegal_index);
}

TEST(AlgString, Find) {
  const alg_string hello("Hello");
  EXPECT_EQ(hello.find(1, "LL", true), 3u);
  EXPECT_EQ(hello.find(1, "LL", false), 0u);
  EXPECT_EQ(hello.find(0, "H", false), 1u);
  EXPECT_EQ(alg_string("abc").find(4, "c", false), 0u);
  EXPECT_EQ(alg_string("abc").find(2, "", false), 2u);
  EXPECT_EQ(alg_string("abcabc").find(2, "a", false), 4u);
  // The search stops at a NUL byte on either side.
  EXPECT_EQ(S(std::string("ab\0cd", 5)).find(1, "c", false), 0u);
  EXPECT_EQ(alg_string("abc").find(1, S(std::string("b\0z", 3)), false), 2u);
  // The searched bytes start at the start position: a NUL before it does not
  // end the search, and one at or after it does.
  EXPECT_EQ(S(std::string("ab\0cd", 5)).find(4, "c", false), 4u);
  EXPECT_EQ(S(std::string("ab\0cd", 5)).find(4, "C", true), 4u);
  EXPECT_EQ(S(std::string("ab\0cdab", 7)).find(4, "AB", true), 6u);
  EXPECT_EQ(S(std::string("ab\0cd", 5)).find(3, "c", false), 0u);
  EXPECT_EQ(S(std::string("ab\0cd", 5)).find(3, "", false), 3u);
}

TEST(AlgString, FindEarliest) {
  const alg_string t("x~sub~y~add~z");
  const alg_string pats[] = {alg_string("~add~"), alg_string("~SUB~")};
  EXPECT_EQ(t.find_earliest(pats), 2u);
  const alg_string none[] = {alg_string("~mul~")};
  EXPECT_EQ(t.find_earliest(none), 0u);
}

TEST(AlgString, CompareOnSignedBytes) {
  EXPECT_EQ(alg_string("ab").compare("a"), 1);
  EXPECT_EQ(alg_string("a").compare("ab"), -1);
  EXPECT_EQ(alg_string("a").compare(S("a\xE9")), 1);  // a prefix sorts after a high byte
  EXPECT_EQ(S("a\xE9").compare("a"), -1);
  EXPECT_EQ(S("\x80").compare("a"), -1);  // high bytes sort below ASCII
  EXPECT_EQ(alg_string("abc").compare("abc"), 0);
  EXPECT_EQ(alg_string("").compare(""), 0);
  // Equal up to an embedded NUL: lengths decide.
  EXPECT_EQ(S(std::string("a\0", 2)).compare("a"), 1);
  EXPECT_TRUE(alg_string("b") > alg_string("a"));
  EXPECT_TRUE(alg_string("a") == "a");
  EXPECT_TRUE(alg_string("a") != "b");
}

TEST(AlgString, TextClassTests) {
  EXPECT_TRUE(alg_string("").is_integer_text());
  EXPECT_TRUE(alg_string("-12").is_integer_text());
  EXPECT_FALSE(alg_string("1.2").is_integer_text());
  EXPECT_TRUE(alg_string("").is_hex_text());
  EXPECT_TRUE(alg_string("09afAF").is_hex_text());
  EXPECT_FALSE(alg_string("g").is_hex_text());
}

TEST(AlgString, AppendAndSelfAppend) {
  alg_string s("ab");
  s.reserve(10, 4);
  s += s;
  s += "c";
  EXPECT_EQ(B(s), "ababc");
  alg_string t;
  t = t;
  EXPECT_TRUE(t.empty());
}

}  // namespace
