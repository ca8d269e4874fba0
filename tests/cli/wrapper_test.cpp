// The header-only C++ wrapper: ownership, errors and the retry on long results.
#include <gtest/gtest.h>

#include <type_traits>

#include "api/registry.h"
#include "zekalg/zekalg.hpp"

namespace {

static_assert(!std::is_copy_constructible_v<zekalg::environment>);
static_assert(!std::is_copy_assignable_v<zekalg::environment>);
static_assert(std::is_nothrow_move_constructible_v<zekalg::environment>);

TEST(CppWrapper, KillsOnDestructionAndMoves) {
  const int32_t before = environment_count();
  {
    zekalg::environment a("k_n|42");
    EXPECT_EQ(environment_count(), before + 1);
    zekalg::environment b(std::move(a));
    EXPECT_EQ(a.id(), 0);
    EXPECT_EQ(b.solve("n"), "42");
    zekalg::environment c("k_n|1");
    c = std::move(b);  // kills c's own environment
    EXPECT_EQ(environment_count(), before + 1);
    EXPECT_EQ(c.solve("n*2"), "84");
  }
  EXPECT_EQ(environment_count(), before);
}

TEST(CppWrapper, ErrorsCarryStatusAndMessage) {
  try {
    zekalg::environment bad("r_a|1|6\nc_x|a>6");
    FAIL() << "created";
  } catch (const zekalg::error& e) {
    EXPECT_EQ(e.status(), ZEKALG_ERROR_ALGORITHM);
    EXPECT_STREQ(e.what(), "condition a>6 could not be satisfied");
  }
  const zekalg::environment env("k_n|1");
  try {
    env.solve("1/0");
    FAIL() << "solved";
  } catch (const zekalg::error& e) {
    EXPECT_EQ(e.status(), ZEKALG_ERROR_ALGORITHM);
    EXPECT_NE(std::string(e.what()), "");
  }
}

struct long_case {
  const char* name;
  std::size_t length;
};

// Around the first buffer size (256) and far past it.
const long_case kLengths[] = {
    {"Short", 10}, {"FitsExactly", 255}, {"OneTooMany", 256}, {"Long", 5000}};

class CppWrapperLongResults : public testing::TestWithParam<long_case> {};

TEST_P(CppWrapperLongResults, ComeBackWhole) {
  const std::string text(GetParam().length, 'x');
  const zekalg::environment env("k_t|\"" + text + "\"");
  std::string reused(3, '?');
  env.solve_into("t", reused);
  EXPECT_EQ(reused, text);
  EXPECT_EQ(env.solve("t"), text);
}

INSTANTIATE_TEST_SUITE_P(Cases, CppWrapperLongResults, testing::ValuesIn(kLengths),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CppWrapper, BaseEnvironment) {
  zekalg::seed(11);
  const zekalg::environment base("k_n|5\nf_twice|x*2|x");
  const zekalg::environment env("q_m|twice(n)|0", &base);
  EXPECT_EQ(env.solve("m"), "10");
}

}  // namespace
