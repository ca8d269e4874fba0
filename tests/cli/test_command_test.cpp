// `zekalg test`: stored variants compared, diffs shown, files rewritten.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "test_command.h"
#include "tools/algorithm_file.h"

namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& text) {
  cli_test::write_file(path.string(), text);
}

std::string read(const fs::path& path) { return cli_test::read_file(path.string()); }

struct run_result {
  int status;
  std::string out;
  std::string err;
};

run_result run(const std::vector<std::string>& paths, bool update = false,
               const std::string& base = "") {
  cli::test_options options;
  options.paths = paths;
  options.update = update;
  options.base_file = base;
  options.seeds = 3;
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::run_test(options, out, err);
  return {status, out.str(), err.str()};
}

class TestCommand : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / ("zekalg_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bank");
    write(dir_ / "bank" / "base.alg", "k_g|10\n");
    write(dir_ / "bank" / "fall.alg", "r_t|1|3\nq_h|g*t^2/2|1\n");
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Recorded, then unchanged: passes; an edit of the algorithm shows as a
// diff of the variant and fails; --update accepts it.
TEST_F(TestCommand, RecordCompareAndUpdate) {
  const fs::path test = dir_ / "bank" / "fall.test";
  write(test, "@base base.alg\n@request h\n@request t*2\n");
  ASSERT_EQ(run({(dir_ / "bank" / "fall.alg").string()}, true).status, 0);
  const std::string recorded = read(test);
  EXPECT_NE(recorded.find("@base base.alg\n@request h\n@request t*2\n\nseed "), std::string::npos)
      << recorded;
  EXPECT_NE(recorded.find("\nh = "), std::string::npos) << recorded;

  run_result r = run({(dir_ / "bank").string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;

  write(dir_ / "bank" / "fall.alg", "r_t|1|3\nq_h|g*t^2/2|2\n");
  r = run({test.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("FAIL  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    - h = "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    + h = "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3 of 3 variants changed"), std::string::npos) << r.out;
  EXPECT_EQ(read(test), recorded) << "comparing must not write";

  EXPECT_EQ(run({test.string()}, true).status, 0);
  EXPECT_EQ(run({test.string()}).status, 0);
}

// A question written for a base: --update without it refuses to record
// variants that all fail; with --base the base is recorded in the file, so
// that later runs need no option.
TEST_F(TestCommand, QuestionOnABase) {
  const fs::path algorithm = dir_ / "bank" / "fall.alg";
  const fs::path test = dir_ / "bank" / "fall.test";
  run_result r = run({algorithm.string()}, true);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("fall.test: not recorded: every variant fails, the first with "
                       "\"fall.alg:2: error: h: variable 'g' not defined\" (a question written "
                       "for a base needs --base FILE)"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(test));

  r = run({algorithm.string()}, true, (dir_ / "bank" / "base.alg").string());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(read(test).find("@base base.alg\n"), read(test).find('\n') + 1) << read(test);
  EXPECT_EQ(run({algorithm.string()}).status, 0);

  write(dir_ / "other.alg", "k_g|10\n");
  r = run({algorithm.string()}, false, (dir_ / "other.alg").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("fall.test: its @base is base.alg, not "), std::string::npos) << r.err;
}

// Recorded from inside the question's folder with paths that name no
// folder, the base is written relative to the test file, so the folder can
// move and the test still runs from anywhere.
TEST_F(TestCommand, TestMovesWithItsFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_ / "bank");
  const run_result r = run({"fall.alg"}, true, "base.alg");
  fs::current_path(before);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string recorded = read(dir_ / "bank" / "fall.test");
  EXPECT_EQ(recorded.find("@base base.alg\n"), recorded.find('\n') + 1) << recorded;
  fs::rename(dir_ / "bank", dir_ / "moved");
  const run_result moved = run({(dir_ / "moved" / "fall.alg").string()});
  EXPECT_EQ(moved.status, 0) << moved.out << moved.err;
}

// What is wrong with a test run is told, with the file and line.
TEST_F(TestCommand, Problems) {
  struct problem {
    const char* test_text;  // nullptr: no test file
    const char* expected;   // in the output or the errors
  };
  const problem problems[] = {
      {nullptr, "fall.test: no test file (zekalg test --update "},
      {"seed 12x\n", "fall.test:1: a seed is a whole number from 0 to 4294967295"},
      {"@requests h\n", "fall.test:1: expected @base, @request or a \"seed N\" line"},
      {"@base missing.alg\nseed 1\nh = 1\n", "missing.alg does not exist"},
      // Without its base the algorithm fails; the error is part of the variant.
      {"seed 1\nt = 1\nh = 5.0\n", "    + fall.alg:2: error: h: variable 'g' not defined"},
  };
  for (const problem& p : problems) {
    const fs::path test = dir_ / "bank" / "fall.test";
    fs::remove(test);
    if (p.test_text != nullptr) write(test, p.test_text);
    const run_result r = run({(dir_ / "bank" / "fall.alg").string()});
    EXPECT_EQ(r.status, 1) << p.expected;
    EXPECT_NE((r.out + r.err).find(p.expected), std::string::npos) << r.out << r.err;
  }
  // A directory with no test file at all fails rather than passing empty.
  fs::remove(dir_ / "bank" / "fall.test");
  EXPECT_EQ(run({(dir_ / "bank").string()}).status, 1);
}

}  // namespace
