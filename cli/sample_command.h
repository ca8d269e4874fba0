// `zekalg sample`: many variants of one algorithm, each from its own seed,
// with a summary of what the random ranges and conditions produce.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "algorithm_file.h"
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

// One variant of a sample: its row (1-based), seed and values (engine bytes,
// in the order of the sample's variables).
struct sample_row {
  int64_t row = 0;
  uint32_t seed = 0;
  std::vector<std::string> values;
};

// A kind of failure, counted over the rows, with the first row that met it.
struct sample_failure {
  std::size_t level = 0;  // 0: the algorithm; 1: its base
  int line = 0;           // 0: none known
  std::string message;    // engine bytes
  std::string variable;   // of a variable's own error: the variable that met it first
  int64_t count = 0;
  int64_t first_row = 0;
  uint32_t first_seed = 0;
};

// What a sample made: the rows that every variable solved in, and the
// failures of the others.
struct sample_result {
  uint64_t seed = 0;               // of the whole sample
  int64_t count = 0;               // rows tried
  std::vector<std::string> names;  // the variables shown, engine bytes
  std::vector<sample_row> rows;
  std::vector<sample_failure> creation_failures;  // by level, then message
  std::vector<sample_failure> variable_failures;  // base first, then by line and message
  // The variables that failed only because another did, in column order,
  // with the number of rows; and the rows with any such variable.
  std::vector<std::pair<std::string, int64_t>> cascade;
  int64_t cascade_rows = 0;
  int64_t distinct = 0;  // distinct variants among the rows
  // Per variable, how often each value came.
  std::vector<std::unordered_map<std::string, int64_t>> counts;
  double seconds = 0;
  bool stopped = false;  // `keep_going` said no before every row was made
};

// The variables of `file` named in `wanted` (engine bytes, compared as the
// engine compares names), as the file spells them; every variable when
// `wanted` is empty. For a name the file does not define, returns nothing
// and sets `missing` to its index in `wanted`.
std::optional<std::vector<std::string>> sample_variables(const algorithm_file& file,
                                                         const std::vector<std::string>& wanted,
                                                         std::size_t& missing);

// Asked before each row and before each value of a row with the number of
// rows done and the bytes of the values held (the rows kept and the row being
// made); false stops the sample there, without the row being made.
using sample_guard = std::function<bool(int64_t done, std::size_t held)>;

// Makes `count` rows from `seed` as below, showing the variables `names`.
sample_result sample_variants(const algorithm_file& file, const algorithm_file* base_file,
                              std::vector<std::string> names, int64_t count, uint64_t seed,
                              const sample_guard& keep_going = {});

// The sample as `zekalg sample --format json` prints it; `file` and
// `base_file` give the paths that the document names.
nlohmann::json sample_json(const sample_result& sample, const algorithm_file& file,
                           const algorithm_file* base_file);

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
