// `zekalg grade`: a declared question's variant as a student sees it, and
// with one response per part, each part's verdict.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/encoding.h"
#include "tools/grading.h"

namespace cli {
using namespace tools;

struct grade_options {
  std::string file;
  int64_t seed = 0;
  std::string base_file;
  std::vector<std::string> responses;  // none: show the question
  encoding enc = encoding::utf8;
};

// Without responses prints the question (exit status 0); with them, one
// verdict line per part: exit status 0 when every part is right, 1
// otherwise. A call that cannot run (no such file, no question declared,
// a variant that cannot be made, responses that do not match the parts)
// is told on `err` with exit status 2.
int run_grade(const grade_options& options, std::ostream& out, std::ostream& err);

}  // namespace cli
