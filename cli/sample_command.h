// `zekalg sample`: many variants of one algorithm, each from its own seed,
// with a summary of what the random ranges and conditions produce.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "encoding.h"

namespace cli {

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
};

// The seed of row `row` (1-based) of a sample started from `base`. Mixed
// rather than base + row: neighbouring small seeds make nearly the same
// first draws with the engine's generator.
uint32_t row_seed(uint64_t base, uint64_t row);

// Each row seeds the generator with its seed, then builds the base (with a
// base file) and the variant on it, as solve does: `zekalg solve FILE --base
// BASE --seed S` brings the row back. A row fails when a creation or a
// variable fails; the summary tells each creation error and each variable's
// own error (variable_report.h) with a count and the first row.
//
// Rows and the table go to `out`; the summary goes to `out` for the table and
// to `err` for CSV and JSON, which keep `out` machine-readable; name-trap
// warnings go to `err`. Returns 0, or 1 when no variant could be made.
int run_sample(const sample_options& options, std::ostream& out, std::ostream& err);

}  // namespace cli
