// Malformed input of any kind ends in an error in the engine's own words or
// in a result: never a crash, a hang or a read outside a buffer (the
// sanitizer build holds the engine to the last part).
#include <gtest/gtest.h>
#include <pthread.h>

#include <random>
#include <string>
#include <vector>

#include "expr/formula_plan.h"
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
      case 0:
        s.insert(at, 1, kBytes[byte(rng)]);
        break;
      case 1:
        if (at < s.size()) s.erase(at, 1);
        break;
      case 2:
        if (at < s.size()) s[at] = kBytes[byte(rng)];
        break;
      default:
        s.insert(at, s.substr(rng() % s.size(), rng() % 6));
        break;
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
  for (int i = 0; i < 60000; ++i)
    many_constants += "k_c" + std::to_string(i) + "|" + std::to_string(i) + "\n";
  std::string draws;
  std::string sum;
  for (int i = 0; i < 1000; ++i) {
    draws += "r_v" + std::to_string(i) + "|1|9\n";
    sum += (i ? "+v" : "v") + std::to_string(i);
  }
  return {
      {"TextDoubledThirtyTimes", doubling(30), "t30", failed("t19: unexpected error occurred")},
      {"FunctionDoublingNestedFortyDeep", "f_d|x&x|x",
       repeated("d(", 40) + "\"ab\"" + repeated(")", 40), failed("d: unexpected error occurred")},
      {"SumOfManyTerms", "", "1" + repeated("+1", 100000), ok("100001")},
      {"ManyWordOperators", "", "1" + repeated(" and 1", 20000), ok("1")},
      {"ConditionalsNestedDeep", "", repeated("if(1,", 20000) + "1" + repeated(",0)", 20000),
       ok("1")},
      {"ManyGroups", "", "1" + repeated("+(1)", 100000), ok("100001")},
      {"DeepRecursion", "f_f|if(n<=0, 0, f(n-1)+1)|n", "f(5000)", ok("5000")},
      {"RecursionThatNeverEnds", "f_f|if(n<=0, 0, f(n-1)+1)|n", "f(1000000)",
       failed("error in 'f': stack overflow")},
      {"TextJoinedPieceByPiece", "", "\"a\"" + repeated("&\"a\"", 100000),
       ok(repeated("a", 100001))},
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

// The deepest evaluations the nesting limits allow, and deeper ones, on host
// threads with small stacks (128 KiB is musl's default, 512 KiB that of
// macOS's secondary threads). At the limits, 512 KiB gives the main
// thread's answer; a smaller stack, or nesting that no limit bounds, gives
// that answer or the stack overflow error, never a crash.
struct deep_case {
  const char* name;
  std::string algorithm;
  std::string request;
  engine_answer expected;  // on the main thread; empty text: any (an 8 MiB stack overflows)
  bool within_limits;      // whether 512 KiB must give `expected`
};

// Lines q_v1 .. q_vN, each naming the next one in `formula` (where "#"
// stands), the last one 1.
std::string forward_chain(int n, const std::string& formula = "#+1") {
  std::string lines;
  for (int i = 1; i <= n; ++i) {
    std::string f = i < n ? formula : "1";
    if (i < n) f.replace(f.find('#'), 1, "v" + std::to_string(i + 1));
    lines += "q_v" + std::to_string(i) + "|" + f + "\n";
  }
  return lines;
}

std::vector<deep_case> deep_cases() {
  const std::string recursive = "f_r|if(x>0,r(x-1)+1,0)|x\n";
  return {
      {"BuildNesting", forward_chain(99) + "c_ok|v1>0", "v1", ok("99"), true},
      {"BuildNestingPassed", forward_chain(100) + "c_ok|v1>0", "v1",
       not_created("v100: error in '(1)': stack overflow"), true},
      {"SolveNesting", forward_chain(19), "v1", ok("19"), true},
      {"SolveNestingPassed", forward_chain(20), "v1", failed("v20: error in '(1)': stack overflow"),
       true},
      {"CallsWhileBuilding", recursive + "c_ok|r(49)>0", "r(49)", ok("49"), true},
      {"CallsWhileBuildingPassed", recursive + "c_ok|r(50)>0", "r(1)",
       not_created("r: error in 'r': stack overflow"), true},
      {"CallsWhileSolving", recursive + "q_a|r(49)", "a", ok("49"), true},
      {"ParenthesesAtEveryLevel",
       forward_chain(99, repeated("(", 40) + "#" + repeated(")", 40) + "+1") + "c_ok|v1>0", "v1",
       ok("99"), false},
      // Digits fields nest without a formula around them: only the stack
      // bounds this chain.
      {"ChainThroughDigitsFields", forward_chain(20000, "1|#") + "c_ok|v1>0", "v1", not_created(""),
       false},
  };
}

bool is_stack_overflow(const engine_answer& a) {
  const std::string tail = "stack overflow";
  return a.status == -1 && a.text.size() >= tail.size() &&
         a.text.compare(a.text.size() - tail.size(), tail.size(), tail) == 0;
}

engine_answer solve_on_thread(const deep_case& c, size_t stack_bytes) {
  struct job {
    const deep_case* c;
    engine_answer got;
  } j{&c, {}};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stack_bytes);
  pthread_t thread;
  const auto run = [](void* p) -> void* {
    auto* j = static_cast<job*>(p);
    j->got = solve_once(j->c->algorithm, j->c->request);
    return nullptr;
  };
  EXPECT_EQ(pthread_create(&thread, &attributes, run, &j), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  return j.got;
}

class DeepOnSmallStack : public testing::TestWithParam<deep_case> {
 protected:
  void TearDown() override { set_formula_plans_enabled(true); }
};

TEST_P(DeepOnSmallStack, SameAnswerOrStackOverflow) {
  const deep_case& c = GetParam();
  // Sanitized builds take several times the stack per level.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const bool sanitized = true;
#else
  const bool sanitized = false;
#endif
  for (const bool plans : {true, false}) {
    set_formula_plans_enabled(plans);
    const engine_answer main = solve_once(c.algorithm, c.request);
    if (!c.expected.text.empty()) {
      EXPECT_EQ(main, c.expected);
    }
    for (const size_t kib : {128, 512}) {
      const engine_answer got = solve_on_thread(c, kib << 10);
      if (got == main) continue;
      EXPECT_TRUE(is_stack_overflow(got)) << kib << " KiB, plans " << plans << ": " << got;
      EXPECT_FALSE(kib == 512 && c.within_limits && !sanitized)
          << "512 KiB, plans " << plans << ": " << got;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, DeepOnSmallStack, testing::ValuesIn(deep_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
