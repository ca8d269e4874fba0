// Question tests: the expected variants of an algorithm, stored in a text
// file beside it (NAME.test for NAME.alg), checked after every edit of the
// algorithm and after every upgrade of the engine.
//
// A test file holds, for each of its seeds, what `zekalg solve` prints for
// that seed (every variable as "name = value", then any error), one block
// per seed:
//
//   # comment lines and blank lines are ignored
//   @base shared/constants.alg      (optional; relative to the test file)
//   @request b^2-4*c                (optional, repeatable; default: every variable)
//
//   seed 1757147346
//   p = 3
//   ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/algorithm_file.h"
#include "tools/encoding.h"

namespace tools {

// One test file, parsed.
struct test_file {
  std::string base;                   // as written, relative to the test file
  std::vector<std::string> requests;  // as written (in the command's encoding)
  struct block {
    int line = 0;  // of its "seed" line
    uint32_t seed = 0;
    std::vector<std::string> lines;
  };
  std::vector<block> blocks;
};

// Parses a test file's text; throws command_error naming `path` and the line.
test_file parse_test_file(const std::string& path, const std::string& text);
// The text of a test file.
std::string format_test_file(const std::string& algorithm_name, const test_file& test);

// The lines of a text, line ends (LF or CRLF) removed.
std::vector<std::string> text_lines(const std::string& text);

// The blocks of a new test file: `seeds` seeds spread over the whole range,
// as a sample's rows are (neighbouring seeds draw nearly the same first
// values).
std::vector<test_file::block> new_test_blocks(int seeds);

// What `zekalg solve` prints for one seed: every variable as "name = value"
// (or each request as "request = value"), and the errors in their place,
// in `enc`. `requests` are engine bytes. `failed`, when given, tells whether
// the creation or any request failed.
std::vector<std::string> variant_lines(const algorithm_file& algorithm, const algorithm_file* base,
                                       const std::vector<std::string>& requests, uint32_t seed,
                                       encoding enc, bool* failed = nullptr);

}  // namespace tools
