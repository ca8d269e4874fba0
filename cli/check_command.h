// `zekalg check`: what an author should know before publishing an
// algorithm, one diagnostic per line: "FILE:LINE: error|warning: text".
#pragma once

#include <ostream>
#include <string>

#include "tools/check.h"

namespace cli {
using namespace tools;

struct check_options {
  std::string file;
  std::string base_file;  // the algorithm is written for a base environment from this file
  encoding enc = encoding::utf8;
  int creations = 300;  // trial creations that measure the conditions
};

// Prints the diagnostics and a count; returns 1 when one is an error.
int run_check(const check_options& options, std::ostream& out);
// The same for a file already loaded (options.file is not read).
int report_check(const algorithm_file& file, const check_options& options, std::ostream& out);

}  // namespace cli
