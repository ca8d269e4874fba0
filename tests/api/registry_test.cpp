// Environment ids, kill, base links and the random generator.
#include "api/registry.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "algorithm/environment.h"
#include "api/id_counter.h"
#include "base/errors.h"
#include "base/random_generator.h"
#include "test_support.h"

namespace {

// ctest may run several tests of this file at once, each in its own process:
// every process counts on a segment of its own (removed again at exit), so
// the tests that expect exact ids are not raced by the others.
const bool kPrivateSegment = [] {
  static const std::string name = "/zekalg-test-registry-" + std::to_string(getpid());
  setenv("ZEKALG_ID_SEGMENT", name.c_str(), 1);
  std::atexit([] { shm_unlink(name.c_str()); });
  return true;
}();

TEST(Registry, IdsRunInOrderAndFailedCreatesUseUpTheirId) {
  set_environment_id_counter(0);
  EXPECT_EQ(create_environment(0, "k_a|1"), 1);
  EXPECT_THROW(create_environment(0, "c_x|undefinedname"), z_x_algorithm);
  EXPECT_EQ(create_environment(0, "k_a|1"), 3);
  EXPECT_EQ(find_environment(2), nullptr);
  kill_environment(1);
  kill_environment(3);
}

TEST(Registry, CounterWrapsToOneAndSkipsIdsStillLive) {
  set_environment_id_counter(0);
  const int32_t first = create_environment(0, "k_a|1");
  ASSERT_EQ(first, 1);
  set_environment_id_counter(2147483645);
  EXPECT_EQ(create_environment(0, "k_a|1"), 2147483646);
  const int before = environment_count();
  // 1 is still live: it is neither destroyed nor handed out twice.
  EXPECT_EQ(create_environment(0, "k_a|2"), 2);
  EXPECT_EQ(environment_count(), before + 1);
  EXPECT_EQ(B(solve_in_environment(1, "a", 0)), "1");
  EXPECT_EQ(B(solve_in_environment(2, "a", 0)), "2");
  for (const int32_t id : {1, 2, 2147483646}) kill_environment(id);
}

TEST(Registry, KillTwiceAndUnknownIdsAreHarmless) {
  const int32_t id = create_environment(0, "k_a|1");
  const int before = environment_count();
  EXPECT_EQ(kill_environment(id), 0);
  EXPECT_EQ(kill_environment(id), 0);
  EXPECT_EQ(kill_environment(0), 0);
  EXPECT_EQ(environment_count(), before - 1);
  EXPECT_TRUE(solve_in_environment(id, "a", 0).empty());
}

TEST(Registry, BaseEnvironmentLinks) {
  const int32_t base = create_environment(0, "k_a|1");
  const int32_t child = create_environment(base, "k_b|2");
  const int32_t orphan = create_environment(2147480000, "k_b|2");
  EXPECT_EQ(find_environment(child)->live_base(), find_environment(base).get());
  EXPECT_EQ(find_environment(orphan)->live_base(), nullptr);
  // Killing a base makes its children forget it instead of dangling.
  kill_environment(base);
  EXPECT_EQ(find_environment(child)->live_base(), nullptr);
  EXPECT_EQ(B(solve_in_environment(child, "b", 0)), "2");
  kill_environment(child);
  kill_environment(orphan);
}

TEST(Registry, LongChainsOfBaseEnvironments) {
  // Lookups, solves and kills walk the chain without recursing per link.
  constexpr int kLinks = 60000;
  std::vector<int32_t> ids;
  int32_t base = 0;
  for (int i = 0; i < kLinks; ++i) {
    base = create_environment(base, i == 0 ? "k_a|1\nf_g|x+1|x" : "k_b|2");
    ids.push_back(base);
  }
  EXPECT_EQ(B(solve_in_environment(base, "a + g(1)", 0)), "3");
  try {
    (void)solve_in_environment(base, "zz", 0);
    ADD_FAILURE() << "zz resolved";
  } catch (const z_x_algorithm& e) {
    EXPECT_EQ(B(e.message), "zz: variable 'zz' not defined");
  }
  // Killed root first, each link lives on in the one above it, until the
  // last kill lets go of the whole chain at once.
  for (const int32_t id : ids) kill_environment(id);
  EXPECT_EQ(find_environment(ids.front()), nullptr);
}

// The generator's sequence, worked out by hand from
// state = state * 214013 + 2531011 (mod 2^32), draw = (state >> 16) & 32767.
// Environments of one long algorithm share its image, on any thread and
// while any of them lives; each keeps only its own values, so a thousand
// environments of a 60 KB algorithm take tens of megabytes, not gigabytes.
TEST(Registry, EnvironmentsOfALongAlgorithmShareItsImage) {
  std::string algorithm;
  for (int i = 0; algorithm.size() < 60000; ++i) {
    algorithm += i % 10 == 0 ? "r_v" + std::to_string(i) + "|1|9\n"
                             : "q_v" + std::to_string(i) + "|v" + std::to_string(i - 1) + "+" +
                                   std::to_string(i) + "|0\n";
  }
  algorithm += "c_ok|v0>0";
  std::vector<int32_t> ids;
  for (int i = 0; i < 1000; ++i) ids.push_back(create_environment(0, S(algorithm)));
  std::thread([&] { ids.push_back(create_environment(0, S(algorithm))); }).join();
  const algorithm_image* image = find_environment(ids[0])->image.get();
  for (const int32_t id : ids) EXPECT_EQ(find_environment(id)->image.get(), image) << id;
  for (const int32_t id : ids) kill_environment(id);
}

TEST(RandomGenerator, KnownSeedGivesTheFormulaSequence) {
  seed_generator(1);
  // 1*214013+2531011 = 2745024 -> 2745024>>16 = 41
  EXPECT_EQ(random_draw(), 41);
  // 2745024*214013+2531011 mod 2^32 = 1210316419 -> 18467
  EXPECT_EQ(random_draw(), 18467);
  EXPECT_EQ(random_draw(), 6334);
  EXPECT_EQ(random_draw(), 26500);
  seed_generator(0);
  EXPECT_EQ(random_draw(), 38);  // 2531011 >> 16
}

TEST(RandomGenerator, UnseededThreadStartsFromOne) {
  int first = -1;
  std::thread t([&] { first = random_draw(); });
  t.join();
  EXPECT_EQ(first, 41);
}

TEST(RandomGenerator, ThreadsHaveSeparateStates) {
  seed_generator(12345);
  const int32_t here = random_draw();
  std::thread t([] {
    seed_generator(999);
    (void)random_draw();
  });
  t.join();
  seed_generator(12345);
  EXPECT_EQ(random_draw(), here);
}

TEST(RandomGenerator, BetweenTruncatesAndConsumesOneDraw) {
  seed_generator(7);
  (void)random_between(0, 0);
  const int32_t second_draw = random_draw();
  seed_generator(7);
  (void)random_draw();
  EXPECT_EQ(random_draw(), second_draw);

  seed_generator(1);
  EXPECT_EQ(random_between(0, 0), 0);
  // 41/32768 * 6 = 0.0075 -> 0; 18467/32768 * 6 = 3.38 -> 3
  seed_generator(1);
  EXPECT_EQ(random_between(1, 6), 1);
  EXPECT_EQ(random_between(1, 6), 4);
  // Reversed bounds truncate toward zero: 5 + trunc(u * -3) is 5, 4 or 3.
  seed_generator(3);
  for (int i = 0; i < 200; ++i) {
    const int32_t v = random_between(5, 1);
    EXPECT_GE(v, 3);
    EXPECT_LE(v, 5);
  }
  EXPECT_DOUBLE_EQ((seed_generator(1), random_unit()), 41.0 / 32768.0);
}

}  // namespace
