// The JSON documents of the tools (include/zekalg/tools.h describes each):
// the same bytes whether the C interface, the service or the command asks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/check.h"
#include "tools/variant.h"
#include "tools/variant_count.h"

namespace tools {

// "algorithm" or "base", for a level (0: the algorithm, 1: its base).
const char* source_of(std::size_t level);

// A variant made with `seed`.
std::string variant_json(const variant_result& variant, uint32_t seed, bool ascii_minus,
                         int indent = -1);

// The diagnostics of a check; `level` of each says which file it is about.
// With `count`, "variants" tells how many variants the question has.
std::string check_json(const std::vector<diagnostic>& diagnostics, int indent = -1,
                       const variant_count* count = nullptr);

// The characters of the algorithm and its base that a formula cannot read
// as meant (text_traps), as warnings placed in their file.
std::vector<diagnostic> text_warnings(const algorithm_file& file, const algorithm_file* base);

// `document` (an object) with "warnings": [{"source", "line", "column",
// "message"}] added when there are any.
std::string with_warnings(std::string document, const std::vector<diagnostic>& warnings);

// {"error": {"message", "source", "line"}}: a call that could not run.
std::string error_json(const std::string& utf8_message, std::size_t level = 0, int line = 0);

}  // namespace tools
