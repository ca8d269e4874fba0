// Malformed input of any kind ends in an error in the engine's own words or
// in a result: never a crash, a hang or a read outside a buffer (the
// sanitizer build holds the engine to the last part).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "zekalg/zekalg.h"

namespace {

const std::vector<std::string> kFormulas = {
    "3 + 4*2^2 mod 5",
    "if(x >= 10, 1, -x!)",
    "choose(2, if(1/0, 1, 2), 5)",
    "max(1, 2, min(3, 4)) & \"a b\"",
    "str(-12345.678, 2, 0, 1, 1) & mid(\"hello\", 2, 3)",
    "not (a <> b) and (c or d) xor e imp f eqv g",
    "sq(a) + f(1, 2) + round(7.3, 0.5)",
    "\"say \\\"hi\\\"\" & \"\\x41\\t\"",
};

const char kAlgorithm[] =
    "k_x|3\nq_a|x*2|2\nr_b|1|9\nl_c|g|1|2|3\nl_d|g|4|5|6\nk_e2|\"t\"\n"
    "f_sq|v*v|v\nf_f|p+q|p|q\nk_f|1\nk_g|0\n";

const char kBytes[] = "()~\"|,+-*/\\^!&<>=. e0123456789abcxyz\x96\xff\t\n\r";

std::string mutate(std::string s, std::mt19937& rng) {
  std::uniform_int_distribution<int> op(0, 3);
  std::uniform_int_distribution<int> byte(0, sizeof kBytes - 2);
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < edits && !s.empty(); ++i) {
    const size_t at = rng() % (s.size() + 1);
    switch (op(rng)) {
      case 0: s.insert(at, 1, kBytes[byte(rng)]); break;
      case 1: if (at < s.size()) s.erase(at, 1); break;
      case 2: if (at < s.size()) s[at] = kBytes[byte(rng)]; break;
      default: s.insert(at, s.substr(rng() % s.size(), rng() % 6)); break;
    }
  }
  return s;
}

// Every status is one of the three the header documents.
void expect_sound(const engine_answer& a) {
  if (!a.created) return;
  EXPECT_TRUE(a.status == 0 || a.status == -1) << a.status << " " << a.text;
}

TEST(Robustness, TruncatedFormulasEndInErrorOrResult) {
  const int32_t id = create_env(kAlgorithm);
  ASSERT_GT(id, 0);
  for (const std::string& f : kFormulas) {
    for (size_t n = 0; n <= f.size(); ++n) expect_sound(solve_in(id, f.substr(0, n)));
  }
  zekalg_kill_environment(id);
}

TEST(Robustness, MutatedFormulasEndInErrorOrResult) {
  std::mt19937 rng(12345);
  const int32_t id = create_env(kAlgorithm);
  ASSERT_GT(id, 0);
  for (int i = 0; i < 3000; ++i) {
    expect_sound(solve_in(id, mutate(kFormulas[i % kFormulas.size()], rng)));
  }
  zekalg_kill_environment(id);
}

TEST(Robustness, MutatedAlgorithmsEndInErrorOrResult) {
  std::mt19937 rng(777);
  const std::string base = std::string(kAlgorithm) + "c_ok|b > 0\nq_h|if(b>5, \"hi\", sq(b))\n";
  for (int i = 0; i < 400; ++i) {
    const std::string algorithm = mutate(base, rng);
    std::string message;
    zekalg_seed_environment(i);
    const int32_t id = create_env(algorithm, &message);
    if (id < 0) {
      EXPECT_FALSE(message.empty());
      continue;
    }
    expect_sound(solve_in(id, "h"));
    expect_sound(solve_in(id, "a + b"));
    zekalg_kill_environment(id);
  }
}

TEST(Robustness, HostileShapes) {
  const std::vector<std::string> requests = {
      std::string(5000, '('),
      std::string(5000, ')'),
      std::string(2000, '(') + "1" + std::string(2000, ')'),
      "1" + std::string(3000, '+') + "1",
      std::string(1000, '-') + "1",
      "if(" + std::string(500, ',') + ")",
      std::string("a\0b", 3),
      "\"unclosed",
      "~add~~sub~",
      "~",
      "zek_if(zek_if(zek_if(",
      "choose(2147483647, 1)",
      "choose(-2147483648, 1)",
      "mid(\"abc\", 2147483647, -1)",
      "1e999999 * 0",
      "-2147483648 \\ -1",
  };
  const int32_t id = create_env(kAlgorithm);
  ASSERT_GT(id, 0);
  for (const std::string& r : requests) expect_sound(solve_in(id, r));
  std::string long_sum = "1";
  for (int i = 0; i < 3000; ++i) long_sum += "+1";
  EXPECT_EQ(solve_in(id, long_sum), ok("3001"));
  zekalg_kill_environment(id);
}

// Inputs that once took minutes or gigabytes now end quickly, with their
// result or an error in the engine's words (the bench shows the speed).
struct hostile_case {
  const char* name;
  std::string algorithm;
  std::string request;
  engine_answer expected;
};

std::vector<hostile_case> hostile_cases() {
  std::string many_constants;
  for (int i = 0; i < 60000; ++i) many_constants += "k_c" + std::to_string(i) + "|" + std::to_string(i) + "\n";
  std::string draws;
  std::string sum;
  for (int i = 0; i < 1000; ++i) {
    draws += "r_v" + std::to_string(i) + "|1|9\n";
    sum += (i ? "+v" : "v") + std::to_string(i);
  }
  return {
      {"TextDoubledThirtyTimes", doubling(30), "t30", failed("t19: unexpected error occurred")},
      {"FunctionDoublingNestedFortyDeep", "f_d|x&x|x", repeated("d(", 40) + "\"ab\"" + repeated(")", 40),
       failed("d: unexpected error occurred")},
      {"SumOfManyTerms", "", "1" + repeated("+1", 100000), ok("100001")},
      {"ManyWordOperators", "", "1" + repeated(" and 1", 20000), ok("1")},
      {"ConditionalsNestedDeep", "", repeated("if(1,", 20000) + "1" + repeated(",0)", 20000), ok("1")},
      {"ManyGroups", "", "1" + repeated("+(1)", 100000), ok("100001")},
      {"DeepRecursion", "f_f|if(n<=0, 0, f(n-1)+1)|n", "f(5000)", ok("5000")},
      {"RecursionThatNeverEnds", "f_f|if(n<=0, 0, f(n-1)+1)|n", "f(1000000)",
       failed("error in 'f': stack overflow")},
      {"TextJoinedPieceByPiece", "", "\"a\"" + repeated("&\"a\"", 100000), ok(repeated("a", 100001))},
      {"AlgorithmOfAMegabyteThatNeverHolds", many_constants + "r_a|1|9\nc_never|a>100", "a",
       not_created("condition a>100 could not be satisfied")},
      {"MegabyteOfBareLinesThatNeverHold", "r_z|1|9\nc_no|z>100\n" + repeated("x\n", 524000), "z",
       not_created("condition z>100 could not be satisfied")},
      {"ThousandDrawsThatNeverHold", draws + "c_never|" + sum + "<0", "v1",
       not_created("condition " + sum + "<0 could not be satisfied")},
      {"WorkLimit", doubling(18), "1" + repeated("+len(t18)", 150),
       failed("work limit reached: more than 64 MiB of formula text rewritten in one call")},
  };
}

class Hostile : public testing::TestWithParam<hostile_case> {};

TEST_P(Hostile, EndsWithResultOrError) {
  const hostile_case& c = GetParam();
  engine_answer got = solve_once(c.algorithm, c.request);
  EXPECT_EQ(got, c.expected) << got.text.substr(0, 200);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Hostile, testing::ValuesIn(hostile_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
