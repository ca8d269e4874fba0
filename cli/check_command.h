// `zekalg check`: what an author should know before publishing an
// algorithm, one diagnostic per line: "FILE:LINE: error|warning: text".
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "algorithm_file.h"
#include "encoding.h"

namespace cli {

struct check_options {
  std::string file;
  std::string base_file;  // the algorithm is written for a base environment from this file
  encoding enc = encoding::utf8;
  int creations = 300;  // trial creations that measure the conditions
};

struct diagnostic {
  int line = 0;
  bool error = true;
  std::string text;  // engine bytes
};

// Asked before each trial creation and before each variable a trial solves,
// with the bytes of the values that trial holds so far; false stops the
// trials there.
using check_guard = std::function<bool(std::size_t held)>;

// Every diagnostic of `file`, in line order; `base`, when given, is the
// algorithm of the base environment it is written for. When `keep_going`
// stopped the trials, `*stopped` is set and the diagnostics that need them
// are missing.
std::vector<diagnostic> check_algorithm(const algorithm_file& file, int creations,
                                        const algorithm_file* base = nullptr,
                                        const check_guard& keep_going = {},
                                        bool* stopped = nullptr);

// The definitions whose names a formula cannot reach as the author meant
// (a reserved name such as e or pi, a built-in's name): errors for `check`,
// warnings that `solve` and `sample` print before they start.
std::vector<diagnostic> name_traps(const algorithm_file& file);

// Prints the diagnostics and a count; returns 1 when one is an error.
int run_check(const check_options& options, std::ostream& out);
// The same for a file already loaded (options.file is not read).
int report_check(const algorithm_file& file, const check_options& options, std::ostream& out);

}  // namespace cli
