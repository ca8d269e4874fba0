// The exports from many threads at once, with no lock on the host's side:
// each thread's seeded draws, the result format of each call, environments
// sharing one base, and a base killed while other threads still build on it.
// Run under the ThreadSanitizer build (preset tsan) as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "zekalg/zekalg.h"

namespace {

struct algorithm {
  const char* text;
  std::vector<const char*> requests;  // every variable, then formulas
};

// Random, formula, condition, list and function lines, with decimals,
// exponent form, grouping and negative numbers in the results.
const algorithm kStandalone[] = {
    {"r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_s|a+b|0\nq_r|a/b|3\nf_sq|x*x|x\nq_t|sq(a)",
     {"a", "b", "s", "r", "t", "sq(b) + r", "a/b"}},
    {"l_p|g|10|20|30\nl_q|g|40|50|60\nr_k|0|1|0.25|2\nq_v|p*k+q|4\nc_c|q-p=30",
     {"p", "q", "k", "v", "v*2"}},
    {"r_n|-50|50\nq_p|n^2|2|1\nq_big|n*123456.789|2|0|1\nf_f|if(x<=0, 0, f(x-1)+1)|x\n"
     "q_d|f(abs(n) mod 5)",
     {"n", "p", "big", "d", "n/7"}},
};

// The shared base: its variables are drawn by a solve on another thread
// than the one that created it, before the threads start, so environments
// built on it see the same values on any thread.
const char kBase[] = "k_m|7\nr_z|1|100\nf_cube|x*x*x|x\nq_w|m*z|2";
const std::vector<const char*> kBaseRequests = {"m", "z", "w", "cube(m) + w"};

// Built on the base and reaching into it.
const algorithm kDerived = {"r_c|1|5\nc_c|c<>2\nq_u|cube(c)+m|1\nq_y|w/c|5",
                            {"c", "u", "y", "u + z", "cube(2)"}};
// Built on the base id without reaching into it: the same answers with the
// base alive or killed.
const algorithm kBaseFree = {"r_c|1|5\nl_h||2|4|8\nq_u|c*h|0\nc_c|u>2", {"c", "h", "u", "u/3"}};
// What an environment built on kDerived answers without going to its base.
const std::vector<const char*> kOwnCached = {"c", "u", "y", "u*2"};

constexpr int kThreads = 8;
constexpr int kRoundsBefore = 30;  // rounds that use the base
constexpr int kRoundsAfter = 30;   // rounds while, and after, the base is killed
constexpr int kKillerThread = 3;

using transcript = std::vector<std::string>;

// Seeds far apart: neighbouring seeds start with nearly the same draws.
int32_t seed_of(int thread, int round) {
  return static_cast<int32_t>(2654435761u * static_cast<uint32_t>(100 * thread + round + 1));
}

void note(transcript& out, int32_t id, const char* request) {
  const engine_answer a = solve_in(id, request);
  out.push_back(std::string(request) + " -> " + std::to_string(a.status) + " " + a.text);
}

int32_t create_noted(transcript& out, const char* text, int32_t base = 0) {
  std::string message;
  const int32_t id = create_env(text, &message, base);
  if (id < 0) out.push_back("not created: " + message);
  return id;
}

void run_algorithm(transcript& out, const algorithm& alg, int32_t base = 0) {
  const int32_t id = create_noted(out, alg.text, base);
  if (id < 0) return;
  for (const char* request : alg.requests) note(out, id, request);
  zekalg_kill_environment(id);
}

struct thread_record {
  transcript answers;          // the same on any thread
  transcript base_afterwards;  // the base's answer in the later rounds
};

// One thread's work. With `phases`, the threads wait for each other after
// the rounds that use the base, and the killer thread kills it early in the
// later rounds; without, nothing is killed.
thread_record work(int thread, int32_t base, std::barrier<>* phases) {
  thread_record r;
  int32_t kept = -1;  // built on the base, used after the base is gone
  for (int round = 0; round < kRoundsBefore; ++round) {
    zekalg_seed_environment(seed_of(thread, round));
    run_algorithm(r.answers, kStandalone[(thread + round) % 3]);
    const int32_t id = create_noted(r.answers, kDerived.text, base);
    if (id < 0) continue;
    for (const char* request : kDerived.requests) note(r.answers, id, request);
    note(r.answers, base, kBaseRequests[(thread + round) % kBaseRequests.size()]);
    zekalg_kill_environment(kept);
    kept = id;
  }
  if (phases != nullptr) phases->arrive_and_wait();
  for (int round = 0; round < kRoundsAfter; ++round) {
    if (phases != nullptr && thread == kKillerThread && round == 2) zekalg_kill_environment(base);
    zekalg_seed_environment(seed_of(thread, 50 + round));
    run_algorithm(r.answers, kBaseFree, base);
    run_algorithm(r.answers, kStandalone[(thread + round) % 3]);
    note(r.answers, kept, kOwnCached[round % kOwnCached.size()]);
    r.base_afterwards.push_back(solve_in(base, "cube(m) + w").text);
  }
  zekalg_kill_environment(kept);
  return r;
}

TEST(Threads, SeededThreadsDrawAsIfAlone) {
  transcript base_alone;
  zekalg_seed_environment(4242);
  const int32_t lone = create_env(kBase);
  for (const char* request : kBaseRequests) note(base_alone, lone, request);
  zekalg_kill_environment(lone);

  zekalg_seed_environment(4242);
  const int32_t base = create_env(kBase);
  ASSERT_GT(base, 0);
  transcript base_drawn;
  std::thread([&] {
    for (const char* request : kBaseRequests) note(base_drawn, base, request);
  }).join();
  ASSERT_EQ(base_drawn, base_alone);
  const std::string base_answer = solve_in(base, "cube(m) + w").text;

  std::array<thread_record, kThreads> expected;
  for (int t = 0; t < kThreads; ++t) expected[t] = work(t, base, nullptr);

  std::array<thread_record, kThreads> actual;
  std::barrier phases(kThreads);
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] { actual[t] = work(t, base, &phases); });
    }
  }

  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(actual[t].answers.size(), expected[t].answers.size()) << "thread " << t;
    for (size_t i = 0; i < expected[t].answers.size(); ++i) {
      ASSERT_EQ(actual[t].answers[i], expected[t].answers[i]) << "thread " << t << ", answer " << i;
    }
    // The base answers until its kill takes effect, then never again.
    const transcript& seen = actual[t].base_afterwards;
    const auto gone = std::find(seen.begin(), seen.end(), "");
    EXPECT_EQ(std::count(seen.begin(), gone, base_answer), gone - seen.begin()) << "thread " << t;
    EXPECT_EQ(std::count(gone, seen.end(), ""), seen.end() - gone) << "thread " << t;
  }
  EXPECT_EQ(actual[kKillerThread].base_afterwards.back(), "");
  // The killed base is unknown now: its id solves to nothing, and builds
  // environments without a base.
  EXPECT_EQ(solve_in(base, "m"), ok(""));
  const int32_t orphan = create_env("k_a|1", nullptr, base);
  ASSERT_GT(orphan, 0);
  EXPECT_EQ(solve_in(orphan, "m"), failed("variable 'm' not defined"));
  zekalg_kill_environment(orphan);
}

// A thread that never seeds draws from the clock, whatever other threads
// seeded: four such threads drawing from a million values all agreeing
// would be a shared or fixed start.
TEST(Threads, UnseededThreadsDrawFromTheClock) {
  zekalg_seed_environment(1);
  std::array<std::string, 4> drawn;
  {
    std::vector<std::jthread> threads;
    for (size_t t = 0; t < drawn.size(); ++t) {
      threads.emplace_back([&drawn, t] {
        const int32_t id = create_env("r_a|1|1000000");
        drawn[t] = solve_in(id, "a").text;
        zekalg_kill_environment(id);
      });
    }
  }
  const std::set<std::string> distinct(drawn.begin(), drawn.end());
  EXPECT_GT(distinct.size(), 1u) << drawn[0];
}

// The decimals of a result come from the call that produced it, never from
// a call running meanwhile on another thread.
TEST(Threads, ResultFormatBelongsToTheCall) {
  struct expectation {
    const char* algorithm;
    std::vector<std::pair<const char*, std::string>> answers;
  };
  const expectation kJobs[] = {
      {"k_a|1\nk_b|6\nq_r|a/b|3", {{"r", "0.167"}, {"r*2", "0.333"}, {"a/b", "0.166667"}}},
      {"k_a|1\nk_b|3\nq_r|a/b|6", {{"r", "0.333333"}, {"r*2", "0.666667"}}},
      {"q_x|-12345.5|1|0|1", {{"x", kDash + "12,345.5"}, {"x*0+2", "2.0"}}},
  };
  std::atomic<int> wrong{0};
  {
    std::vector<std::jthread> threads;
    for (const expectation& job : kJobs) {
      threads.emplace_back([&job, &wrong] {
        const int32_t id = create_env(job.algorithm);
        for (int i = 0; i < 300; ++i) {
          for (const auto& [request, text] : job.answers) {
            if (solve_in(id, request) != ok(text)) ++wrong;
          }
        }
        zekalg_kill_environment(id);
      });
    }
  }
  EXPECT_EQ(wrong.load(), 0);
}

// Bases (chains of two) are killed while other threads build children on
// them, solve in those children and let them go: the kill path and the
// teardown of chains race with calls reaching the bases. Every answer is
// one a child can give with its bases, or with one or both of them gone.
TEST(Threads, BasesKilledWhileChildrenAreBuiltOnThem) {
  constexpr int kRounds = 300;
  std::atomic<int32_t> current{0};
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::jthread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&] {
      int32_t kept = 0;
      while (!done.load()) {
        const int32_t child = create_env("k_c|2\nq_v|c*10", nullptr, current.load());
        const engine_answer a = solve_in(child, "v+m");
        // Without the root, m is missing wherever it is looked up first
        // (the request, or the base's own variables, which a solve
        // computes first).
        const bool missing =
            a.created && a.status == -1 && a.text.ends_with("variable 'm' not defined");
        if (a != ok("27") && !missing) {
          if (wrong++ < 3) ADD_FAILURE() << a;
        }
        zekalg_kill_environment(kept);
        kept = child;
      }
      zekalg_kill_environment(kept);
    });
  }
  for (int round = 0; round < kRounds; ++round) {
    const int32_t root = create_env("k_m|7");
    const int32_t base = create_env("k_n|1\nq_o|m", nullptr, root);
    current.store(base);
    std::this_thread::yield();
    zekalg_kill_environment(root);
    zekalg_kill_environment(base);
  }
  done.store(true);
  workers.clear();
  EXPECT_EQ(wrong.load(), 0);
}

// ---- One seed, one variant ----
// An environment's answers depend on its algorithm, its base, its seed and
// the calls made on it, never on the thread that calls or on what other
// environments draw meanwhile. Each pattern below runs some environments
// and must get, for each, what the environment answers alone: seeded,
// created (after its base, created and solved alone) and solved on one
// thread with nothing in between.

struct lone_environment {
  const char* algorithm;
  uint32_t seed;
  std::vector<const char*> requests;
  const lone_environment* base = nullptr;
};

// Variables that no condition needs are drawn at their first solve.
const lone_environment kLazyA = {"r_m|2|9\nr_n|1|8\nr_k|1|4\nc_order|m>n", 42, {"m", "n", "k"}};
const lone_environment kLazyB = {kLazyA.algorithm, 7, {"k", "m", "n"}};
const lone_environment kWide = {"r_a|1|30000\nr_b|1|30000\nq_s|a+b|0", 2026, {"a", "s", "b"}};
const lone_environment kBaseOfMany = {"r_z|1|1000\nl_p||5|6|7\nq_w|z*p|0", 11, {"z", "p", "w"}};
const lone_environment kChild = {
    "r_c|1|500\nq_u|c+w|0\nc_odd|c mod 2 = 1", 0, {"c", "u", "w"}, &kBaseOfMany};
// A user function that nests deep and lazy draws, for solves at once.
const lone_environment kDeep = {"k_a|3\nf_rec|if(x>0,rec(x-1)+1,0)|x\nr_b|1|30000\nr_c|1|30000",
                                5,
                                {"rec(45)+a", "1", "b", "c", "b-c"}};

int32_t create_seeded(const lone_environment& e, uint32_t seed, int32_t base) {
  zekalg_seed_environment(static_cast<int32_t>(seed));
  return create_env(e.algorithm, nullptr, base);
}

transcript solve_all(int32_t id, const lone_environment& e) {
  transcript out;
  for (const char* request : e.requests) note(out, id, request);
  return out;
}

transcript alone(const lone_environment& e, uint32_t seed) {
  int32_t base = 0;
  if (e.base != nullptr) {
    base = create_seeded(*e.base, e.base->seed, 0);
    (void)solve_all(base, *e.base);
  }
  const int32_t id = create_seeded(e, seed, base);
  transcript out = solve_all(id, e);
  zekalg_kill_environment(id);
  zekalg_kill_environment(base);
  return out;
}

// What each environment of a pattern answered, and what it answers alone.
struct outcome {
  std::vector<transcript> got;
  std::vector<transcript> expected;
};

using pattern = outcome (*)();

// Two environments created one after the other, solved in turns.
outcome interleaved() {
  outcome o;
  const int32_t a = create_seeded(kLazyA, kLazyA.seed, 0);
  const int32_t b = create_seeded(kLazyB, kLazyB.seed, 0);
  o.got.resize(2);
  for (size_t i = 0; i < 3; ++i) {
    note(o.got[0], a, kLazyA.requests[i]);
    note(o.got[1], b, kLazyB.requests[i]);
  }
  zekalg_kill_environment(a);
  zekalg_kill_environment(b);
  o.expected = {alone(kLazyA, kLazyA.seed), alone(kLazyB, kLazyB.seed)};
  return o;
}

// Created on this thread, each request solved on a thread of its own.
outcome solved_on_fresh_threads() {
  outcome o;
  for (uint32_t seed : {1u, 2u, 3u, 4000000000u}) {
    const int32_t id = create_seeded(kWide, seed, 0);
    transcript got;
    for (const char* request : kWide.requests) {
      std::thread([&] { note(got, id, request); }).join();
    }
    zekalg_kill_environment(id);
    o.got.push_back(got);
    o.expected.push_back(alone(kWide, seed));
  }
  return o;
}

// One thread creates, two workers solve: each worker takes every other
// environment and goes round its environments one request at a time.
outcome pool_of_two() {
  constexpr int kCount = 8;
  std::vector<int32_t> ids(kCount);
  std::thread([&] {
    for (int i = 0; i < kCount; ++i) {
      ids[i] = create_seeded(i % 2 ? kWide : kLazyA, 100 + static_cast<uint32_t>(i), 0);
    }
  }).join();
  outcome o;
  o.got.resize(kCount);
  {
    std::vector<std::jthread> workers;
    for (int w = 0; w < 2; ++w) {
      workers.emplace_back([&, w] {
        for (size_t r = 0; r < 3; ++r) {
          for (int i = w; i < kCount; i += 2) {
            const lone_environment& e = i % 2 ? kWide : kLazyA;
            note(o.got[i], ids[i], e.requests[r]);
          }
        }
      });
    }
  }
  for (int i = 0; i < kCount; ++i) {
    zekalg_kill_environment(ids[i]);
    o.expected.push_back(alone(i % 2 ? kWide : kLazyA, 100 + static_cast<uint32_t>(i)));
  }
  return o;
}

// A base created here and solved on another thread; children created and
// solved on threads of their own, at once.
outcome base_shared_across_threads() {
  const int32_t base = create_seeded(kBaseOfMany, kBaseOfMany.seed, 0);
  outcome o;
  o.got.resize(5);
  std::thread([&] { o.got[0] = solve_all(base, kBaseOfMany); }).join();
  {
    std::vector<std::jthread> threads;
    for (int c = 1; c <= 4; ++c) {
      threads.emplace_back([&, c] {
        const int32_t id = create_seeded(kChild, static_cast<uint32_t>(c), base);
        o.got[c] = solve_all(id, kChild);
        zekalg_kill_environment(id);
      });
    }
  }
  zekalg_kill_environment(base);
  o.expected.push_back(alone(kBaseOfMany, kBaseOfMany.seed));
  for (uint32_t c = 1; c <= 4; ++c) o.expected.push_back(alone(kChild, c));
  return o;
}

// Four threads solve in one environment at once, each its own request over
// and over: two nest deep, one draws, one calls no function.
outcome concurrent_solves_in_one_environment() {
  constexpr size_t kRequestOf[4] = {0, 0, 4, 1};
  const int32_t id = create_seeded(kDeep, kDeep.seed, 0);
  const transcript lone = alone(kDeep, kDeep.seed);
  outcome o;
  o.got.resize(4);
  {
    std::vector<std::jthread> threads;
    for (size_t t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        const size_t r = kRequestOf[t];
        for (int i = 0; i < 500; ++i) {
          transcript once;
          note(once, id, kDeep.requests[r]);
          if (o.got[t].empty() || once[0] != o.got[t].back()) o.got[t].push_back(once[0]);
        }
      });
    }
  }
  zekalg_kill_environment(id);
  for (size_t t = 0; t < 4; ++t) {
    o.expected.push_back({lone[kRequestOf[t]]});
  }
  return o;
}

struct sequence_case {
  const char* name;
  pattern run;
};

const sequence_case kSequences[] = {
    {"Interleaved", interleaved},
    {"SolvedOnFreshThreads", solved_on_fresh_threads},
    {"PoolOfTwo", pool_of_two},
    {"BaseSharedAcrossThreads", base_shared_across_threads},
    {"ConcurrentSolvesInOneEnvironment", concurrent_solves_in_one_environment},
};

class OneSeedOneVariant : public testing::TestWithParam<sequence_case> {};

TEST_P(OneSeedOneVariant, EachEnvironmentAnswersAsAlone) {
  const outcome o = GetParam().run();
  ASSERT_EQ(o.got.size(), o.expected.size());
  for (size_t i = 0; i < o.got.size(); ++i) {
    EXPECT_EQ(o.got[i], o.expected[i]) << "environment " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, OneSeedOneVariant, testing::ValuesIn(kSequences),
                         [](const testing::TestParamInfo<sequence_case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
