// `zekalg repl`: an interactive prompt in one environment. Each line is
// solved and printed; with a terminal it has line editing and history.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "tools/encoding.h"

namespace cli {
using namespace tools;

struct repl_options {
  std::string file;
  std::optional<int64_t> seed;
  std::string base_file;  // build on a base environment from this file
  encoding enc = encoding::utf8;
};

// Reads requests from the terminal (libedit) when stdin is one, otherwise
// plain lines from `in`, until end of input or a line ":quit". Name-trap
// warnings go to `err` first. Returns 0, or 1 when the environment cannot be
// built.
int run_repl(const repl_options& options, std::istream& in, std::ostream& out, std::ostream& err,
             bool terminal);

}  // namespace cli
