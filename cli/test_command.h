// `zekalg test`: the expected variants of an algorithm, stored in a text
// file beside it (NAME.test for NAME.alg), checked after every edit of the
// algorithm and after every upgrade of the engine.
//
// A test file holds, for each of its seeds, what `zekalg solve` prints for
// that seed (every variable as "name = value", then any error), one block
// per seed:
//
//   # comment lines and blank lines are ignored
//   @base shared/constants.alg      (optional; relative to the test file)
//   @request b^2-4*c                (optional, repeatable; default: every variable)
//
//   seed 1757147346
//   p = 3
//   ...
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/question_test.h"

namespace cli {
using namespace tools;

struct test_options {
  std::vector<std::string> paths;  // algorithm files, test files or directories
  bool update = false;             // write the test files instead of comparing
  int seeds = 10;                  // seeds of a new test file
  std::string base_file;           // the base of tests that name none; recorded in new test files
  encoding enc = encoding::utf8;
};

// Compares (or, with update, writes) every test; prints a line per algorithm
// and a diff of each changed variant. Returns 0 when everything matched (or
// was written), 1 otherwise.
int run_test(const test_options& options, std::ostream& out, std::ostream& err);

}  // namespace cli
