// Two real processes draw environment ids from one counter.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "api/id_counter.h"

namespace {

std::vector<int> read_ids(FILE* pipe) {
  std::vector<int> ids;
  int id = 0;
  while (std::fscanf(pipe, "%d", &id) == 1) ids.push_back(id);
  return ids;
}

FILE* start_child(int count) {
  const std::string command = std::string(ZEKALG_ID_COUNTER_CHILD) + " " + std::to_string(count);
  return popen(command.c_str(), "r");
}

TEST(SharedCounter, StartsAfreshWhenNoProcessIsAttached) {
  const std::string segment = "/zekalg-test-fresh-" + std::to_string(getpid());
  setenv("ZEKALG_ID_SEGMENT", segment.c_str(), 1);
  for (int round = 0; round < 2; ++round) {
    FILE* child = start_child(3);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(read_ids(child), (std::vector<int>{1, 2, 3}));
    pclose(child);
  }
  shm_unlink(segment.c_str());
}

TEST(SharedCounter, ConcurrentProcessesNeverShareAnId) {
  const std::string segment = "/zekalg-test-shared-" + std::to_string(getpid());
  setenv("ZEKALG_ID_SEGMENT", segment.c_str(), 1);
  // This process stays attached, so the children continue its count.
  const int mine = next_environment_id();
  constexpr int kEach = 300;
  FILE* a = start_child(kEach);
  FILE* b = start_child(kEach);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const std::vector<int> ids_a = read_ids(a);
  const std::vector<int> ids_b = read_ids(b);
  pclose(a);
  pclose(b);
  ASSERT_EQ(ids_a.size(), static_cast<size_t>(kEach));
  ASSERT_EQ(ids_b.size(), static_cast<size_t>(kEach));
  std::set<int> all(ids_a.begin(), ids_a.end());
  all.insert(ids_b.begin(), ids_b.end());
  all.insert(mine);
  EXPECT_EQ(all.size(), static_cast<size_t>(2 * kEach + 1));
  EXPECT_EQ(*all.begin(), mine);
  EXPECT_EQ(*all.rbegin(), mine + 2 * kEach);
  EXPECT_EQ(next_environment_id(), mine + 2 * kEach + 1);
  shm_unlink(segment.c_str());
}

}  // namespace
