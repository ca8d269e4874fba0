// One variant: the base and the algorithm built after a seed, then each
// request's result (or every variable in definition order), with each
// failure placed at its file and line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/encoding.h"
#include "tools/variable_report.h"
#include "zekalg/zekalg.hpp"

namespace tools {

// An engine message and where it points: the algorithm (level 0) or its
// base (level 1), and a line there (0: none known).
struct placed_message {
  std::size_t level = 0;
  int line = 0;
  std::string message;  // engine bytes
};

// One request and what the engine answered.
struct request_result {
  std::string request;         // engine bytes
  int32_t status = ZEKALG_OK;  // ZEKALG_OK, ZEKALG_ERROR_ALGORITHM or ZEKALG_ERROR_UNKNOWN
  std::string text;            // the result, or the engine's message
  std::size_t level = 0;       // an error's file: 0 the algorithm, 1 its base
  int line = 0;                // an error's line there; 0: about the request itself
};

// One variant: the base (when given) and the algorithm built on it after the
// seed, then each request solved in order; with no request, every variable
// in definition order (`named`) and the report of those that fail.
struct variant_result {
  std::optional<placed_message> creation_error;  // the base or the algorithm could not be built
  bool named = false;
  std::vector<request_result> results;
  failure_report report;  // named, when a variable failed
  bool stopped = false;   // `keep_going` said no before every request was solved
};

// Asked before each request with the bytes of the texts answered so far;
// false leaves the remaining requests out.
using solve_guard = std::function<bool(std::size_t held)>;

// Seeds the calling thread's generator with `seed` (when given) and solves
// `requests` (engine bytes; empty: every variable).
variant_result solve_variant(const algorithm_file& file, const algorithm_file* base_file,
                             std::optional<uint32_t> seed, const std::vector<std::string>& requests,
                             const solve_guard& keep_going = {});

// Prints a variant as `zekalg solve` does: values on `out` ("name = value"
// for every variable, or each request's result, with "request = " in front
// when `label_requests`), errors on `err`. `files` are the algorithm and its
// base. Returns 1 when anything failed.
int print_variant(const variant_result& variant, const std::vector<const algorithm_file*>& files,
                  encoding enc, bool label_requests, std::ostream& out, std::ostream& err);

// Builds the base environment from `base_file` (when given) and `env` on
// it, as a host does after seeding. Returns the failure, if any.
std::optional<placed_message> create_environments(const algorithm_file& file,
                                                  const algorithm_file* base_file,
                                                  zekalg::environment& base,
                                                  zekalg::environment& env);

// "FILE:LINE: error: message" for a failed creation.
void print_creation_error(const placed_message& error,
                          const std::vector<const algorithm_file*>& files, encoding enc,
                          std::ostream& err);

// The names of the variable lines (k_, q_, r_, l_ with a "|") in definition
// order, each once (the first definition of a name is the one that counts).
std::vector<std::string> variable_names(const algorithm_file& file);

// A seed given on the command line: any 32-bit value, signed or unsigned.
uint32_t seed_from_option(int64_t value);

}  // namespace tools
