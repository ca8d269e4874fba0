// `zekalg solve`: one environment, each request's result (or every variable
// in definition order as "name = value").
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/encoding.h"
#include "tools/variant.h"

namespace cli {
using namespace tools;

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

}  // namespace cli
