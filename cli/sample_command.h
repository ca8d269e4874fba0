// `zekalg sample`: many variants of one algorithm, each from its own seed,
// with a summary of what the random ranges and conditions produce.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/encoding.h"
#include "tools/sampling.h"

namespace cli {
using namespace tools;

enum class sample_format { table, csv, json };

struct sample_options {
  std::string file;
  int64_t count = 10;
  std::optional<int64_t> seed;
  std::string base_file;  // each variant is built on a base from this file, made after its seed
  sample_format format = sample_format::table;
  std::vector<std::string> vars;  // empty: every variable
  encoding enc = encoding::utf8;
  bool progress = false;  // draw a progress bar on `err`
  int threads = 0;        // 0: the machine's cores; the rows are the same for any number
};

// Makes the rows (tools/sampling.h) and prints them. Rows and the table go
// to `out`; the summary goes to `out` for the table and to `err` for CSV
// and JSON, which keep `out` machine-readable; name-trap warnings go to
// `err`. Returns 0, or 1 when no variant could be made.
int run_sample(const sample_options& options, std::ostream& out, std::ostream& err);

}  // namespace cli
