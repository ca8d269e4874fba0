// How many variants a question has: exact counts by visiting every
// combination of the draws, and the estimate beyond.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tools/algorithm_file.h"
#include "tools/question.h"
#include "tools/variant_count.h"
#include "zekalg/zekalg.h"

namespace {

struct count_case {
  const char* name;
  std::string algorithm;
  std::string base;  // empty: none
  bool exact;
  int64_t variants;
  int64_t combinations;
  int64_t prompts = -1;
  int64_t answers = -1;
  const char* described = nullptr;  // what check prints, where given
};

const count_case kCounts[] = {
    {"DistinctPair", "r_a|1|9\nr_b|1|9\nc_ok|a<>b", "", true, 72, 81, -1, -1,
     "72 variants (exact: 81 combinations of the draws, 72 satisfy the conditions and solve)"},
    {"WholeSidedRightTriangles",
     "r_a|1|20\nr_b|1|20\nq_c|sqrt(a^2+b^2)|0\nc_whole|sqrt(a^2+b^2) = int(sqrt(a^2+b^2))\n"
     "c_ord|a<b",
     "", true, 7, 400},
    {"NothingDrawn", "k_n|12\nq_m|n*2", "", true, 1, 1, -1, -1, "1 variant (nothing is drawn)"},
    // One position for the whole group; a step of 0.25 gives five values.
    {"ListGroupAndStep", "l_p|g|10|20|30\nl_q|g|40|50|60\nr_k|0|1|0.25", "", true, 15, 15},
    // A condition that never holds: every combination is rejected.
    {"NeverSatisfied", "r_x|1|9\nc_no|x>100", "", true, 0, 9},
    // A variable that no condition needs is drawn when it is solved: a
    // rejected a never draws b.
    {"DrawnWhenSolved", "r_a|1|4\nr_b|1|5\nc_a|a>1\nq_s|a+b|0", "", true, 15, 16},
    {"OnABase", "r_c|1|2\nq_u|c+z|0", "r_z|1|3", true, 6, 6},
    // Prompts and right answers of a declared question: 36 prompts share
    // 11 sums.
    {"DeclaredQuestion",
     "r_a|1|6\nr_b|1|6\nq_s|a+b|0\nq_t|\"What is \" & str(a,0) & \" + \" & str(b,0)\n"
     "?prompt|t\n?numeric|s",
     "", true, 36, 36, 36, 11,
     "36 variants, 36 distinct prompts, 11 distinct right answers (exact: 36 combinations of the "
     "draws, 36 satisfy the conditions and solve)"},
    // Beyond the bound: an estimate, bounded by the combinations.
    {"TooManyToVisit", "r_a|1|30000\nr_b|1|30000\nq_s|a+b|0", "", false, 900000000, 900000000, -1,
     -1,
     "about 900,000,000 variants (an estimate from 2,000 variants drawn: about 900,000,000 "
     "combinations of the draws are too many to visit)"},
};

class VariantCounts : public testing::TestWithParam<count_case> {};

TEST_P(VariantCounts, Counted) {
  const count_case& c = GetParam();
  const tools::algorithm_file file =
      tools::algorithm_from_text("q.alg", c.algorithm, tools::encoding::utf8);
  const tools::algorithm_file base =
      tools::algorithm_from_text("base.alg", c.base, tools::encoding::utf8);
  const std::optional<tools::variant_count> counted =
      tools::count_variants(file, c.base.empty() ? nullptr : &base, tools::parse_question(file));
  ASSERT_TRUE(counted);
  const tools::variant_count& n = *counted;
  EXPECT_EQ(n.exact, c.exact);
  EXPECT_EQ(n.variants, c.variants);
  EXPECT_EQ(n.combinations, c.combinations);
  EXPECT_EQ(n.prompts, c.prompts);
  EXPECT_EQ(n.answers, c.answers);
  if (c.described != nullptr) {
    EXPECT_EQ(tools::describe_count(n), c.described);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, VariantCounts, testing::ValuesIn(kCounts),
                         [](const auto& info) { return std::string(info.param.name); });

// Counting leaves the host's seed and the thread's draws as they were.
TEST(VariantCount, LeavesTheHostsSeedAlone) {
  zekalg_seed_environment(2026);
  for (const char* text : {"r_a|1|9\nr_b|1|9", "r_a|1|30000\nr_b|1|30000"}) {
    const tools::algorithm_file file =
        tools::algorithm_from_text("q.alg", text, tools::encoding::utf8);
    (void)tools::count_variants(file, nullptr, tools::question{});
  }
  char text[64];
  int32_t length = sizeof text;
  const int32_t id = zekalg_create_environment(0, "r_a|1|9\nq_sq|a^2|0", text, &length);
  ASSERT_GT(id, 0);
  length = sizeof text;
  ASSERT_EQ(zekalg_solve_var(id, "a", text, &length), 0);
  EXPECT_STREQ(text, "2");
  zekalg_kill_environment(id);
}

}  // namespace
