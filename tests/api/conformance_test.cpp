// The conformance cases, run through the shared library's C functions. The
// Windows host runs the same file against the DLL.
#include <gtest/gtest.h>

#include <string>

#include "conformance/conformance.h"
#include "zekalg/zekalg.h"

namespace {

struct loaded_suite {
  conformance_suite suite{};
  std::string error;

  loaded_suite() {
    char message[512] = "";
    if (!conformance_load(ZEKALG_CONFORMANCE_FILE, &suite, message, sizeof message))
      error = message;
  }
  ~loaded_suite() { conformance_free(&suite); }
};

const loaded_suite& cases() {
  static const loaded_suite s;
  return s;
}

const zekalg_functions kLinked = {
    zekalg_create_environment, zekalg_kill_environment, zekalg_solve_var,
    zekalg_solve_var16,        zekalg_seed_environment, zekalg_list_capabilities,
};

TEST(ConformanceFile, Loads) {
  EXPECT_EQ(cases().error, "");
  EXPECT_GE(cases().suite.count, 20u);
}

class Conformance : public ::testing::TestWithParam<size_t> {};

TEST_P(Conformance, AnswersExactly) {
  char report[2048] = "";
  const conformance_case& c = cases().suite.cases[GetParam()];
  EXPECT_TRUE(conformance_run(&kLinked, &c, report, sizeof report)) << report;
}

INSTANTIATE_TEST_SUITE_P(Cases, Conformance, ::testing::Range<size_t>(0, cases().suite.count),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::string(cases().suite.cases[info.param].name);
                         });

}  // namespace
