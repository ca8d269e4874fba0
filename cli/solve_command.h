// `zekalg solve`: one environment, each request's result (or every variable
// in definition order as "name = value").
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "algorithm_file.h"
#include "encoding.h"
#include "zekalg/zekalg.hpp"

namespace cli {

struct solve_options {
  std::string file;
  std::vector<std::string> requests;
  std::optional<int64_t> seed;
  std::string base_file;
  encoding enc = encoding::utf8;
};

// Exit status: 0, or 1 when the engine failed (messages go to `err`). With
// no request, each failing variable's own error is told once, after the
// values (variable_report.h).
int run_solve(const solve_options& options, std::ostream& out, std::ostream& err);

// Builds the base environment from `base_file` (when given) and `env` on
// it, as a host does after seeding. A failure is printed as
// "FILE:LINE: error: message"; then returns false.
bool create_environments(const algorithm_file& file, const algorithm_file* base_file,
                         zekalg::environment& base, zekalg::environment& env, encoding enc,
                         std::ostream& err);

// The names of the variable lines (k_, q_, r_, l_ with a "|") in definition
// order, each once (the first definition of a name is the one that counts).
std::vector<std::string> variable_names(const algorithm_file& file);

// A seed given on the command line: any 32-bit value, signed or unsigned.
uint32_t seed_from_option(int64_t value);

}  // namespace cli
