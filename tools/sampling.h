// Many variants of one algorithm, each from its own seed, with what the
// random ranges and conditions produce: the failures, the distinct count
// and a histogram per variable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/encoding.h"

namespace tools {

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

// Asked with the number of rows done and the bytes of the values held (the
// rows kept and the row being made), on the calling thread only: before
// each row and each value with one thread; with more, before each row it
// counts and each value of the rows it makes while it waits for the other
// threads. False stops the sample there; the rows made after that point
// are dropped.
using sample_guard = std::function<bool(int64_t done, std::size_t held)>;

// Makes `count` rows from `seed`, showing the variables `names`, on
// `threads` threads (0: the machine's cores). Each row seeds its thread's
// generator with its seed, then builds the base (with a base file) and the
// variant on it, as solve does: `zekalg solve FILE --base BASE --seed S`
// brings the row back, and the rows are the same for any number of threads.
// A row fails when a creation or a variable fails; the result tells each
// creation error and each variable's own error (variable_report.h) with a
// count and the first row. The rows are numbered from `first_row`: a
// sample made in parts (rows 1 to 1000, then 1001 to 2000) gives the rows
// of one made whole.
sample_result sample_variants(const algorithm_file& file, const algorithm_file* base_file,
                              std::vector<std::string> names, int64_t count, uint64_t seed,
                              const sample_guard& keep_going = {}, int threads = 1,
                              int64_t first_row = 1);

// A seed for a caller that gave none: from the system's entropy once per
// thread, then from a generator (opening the entropy source for every
// request cost a busy service a fifth of its time).
uint32_t random_seed();

// The number of threads `threads` asks for: 0 is the machine's cores.
int sample_threads(int threads);

// What a summary shows of one variable's values: its range and a bar per
// value (few distinct numbers), per range of values (more numbers) or per
// text (the most frequent ones). Labels are engine bytes.
struct histogram_bar {
  std::string label;
  int64_t count = 0;
  double value = 0;  // "values": the number; whole numbers are written as integers
  bool whole = false;
  double from = 0;  // "bins": the range
  double to = 0;
  std::string text;  // "text": the value, engine bytes
  int64_t more = 0;  // "text": the last bar stands for this many other values
};

struct histogram {
  std::string kind;    // "values", "bins" or "text"
  std::string header;  // "3 .. 14, 5 distinct values"
  std::size_t distinct = 0;
  std::optional<double> min;  // numbers only
  std::optional<double> max;
  std::vector<histogram_bar> bars;
};

histogram histogram_of(const std::unordered_map<std::string, int64_t>& counts);

// The sample as a JSON document (include/zekalg/tools.h): `file` and
// `base_file` give the paths it names; with `ascii_minus` the en dash of
// the values and labels is '-'. `indent` as json_writer's.
// With `row_arrays`, "rows": [[row, seed, values...]] in place of
// "variants".
std::string sample_json(const sample_result& sample, const algorithm_file& file,
                        const algorithm_file* base_file, bool ascii_minus = false, int indent = -1,
                        bool row_arrays = false);

}  // namespace tools
