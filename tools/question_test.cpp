#include "tools/question_test.h"

#include <sstream>

#include "tools/sampling.h"
#include "tools/variant.h"

namespace tools {

std::vector<std::string> text_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<test_file::block> new_test_blocks(int seeds) {
  std::vector<test_file::block> blocks;
  for (int k = 1; k <= seeds; ++k) blocks.push_back({0, row_seed(0, static_cast<uint64_t>(k)), {}});
  return blocks;
}

std::vector<std::string> variant_lines(const algorithm_file& algorithm, const algorithm_file* base,
                                       const std::vector<std::string>& requests, uint32_t seed,
                                       encoding enc, bool* failed) {
  std::vector<const algorithm_file*> files{&algorithm};
  if (base != nullptr) files.push_back(base);
  std::ostringstream lines;
  const int status =
      print_variant(solve_variant(algorithm, base, seed, requests), files, enc, true, lines, lines);
  if (failed != nullptr) *failed = status != 0;
  return text_lines(lines.str());
}

test_file parse_test_file(const std::string& path, const std::string& text) {
  test_file test;
  int number = 0;
  test_file::block* current = nullptr;
  for (const std::string& line : text_lines(text)) {
    ++number;
    const auto fail = [&](const std::string& what) {
      throw command_error(path + ":" + std::to_string(number) + ": " + what);
    };
    if (line.starts_with("seed ")) {
      const std::string digits = line.substr(5);
      uint64_t seed = 0;
      if (digits.empty() || digits.size() > 10 ||
          digits.find_first_not_of("0123456789") != std::string::npos ||
          (seed = std::stoull(digits)) > UINT32_MAX) {
        fail("a seed is a whole number from 0 to 4294967295");
      }
      test.blocks.push_back({number, static_cast<uint32_t>(seed), {}});
      current = &test.blocks.back();
    } else if (current != nullptr) {
      // Inside a block every line is output, blank lines at its end aside.
      current->lines.push_back(line);
    } else if (line.empty() || line.starts_with("#")) {
      continue;
    } else if (line.starts_with("@base ")) {
      if (!test.base.empty()) fail("a second @base");
      test.base = line.substr(6);
    } else if (line.starts_with("@request ")) {
      test.requests.push_back(line.substr(9));
    } else {
      fail("expected @base, @request or a \"seed N\" line");
    }
  }
  for (test_file::block& block : test.blocks) {
    while (!block.lines.empty() && block.lines.back().empty()) block.lines.pop_back();
  }
  return test;
}

std::string format_test_file(const std::string& algorithm_name, const test_file& test) {
  std::string text = "# The expected variants of " + algorithm_name +
                     ": `zekalg test` compares, `zekalg test --update` rewrites.\n";
  if (!test.base.empty()) text += "@base " + test.base + "\n";
  for (const std::string& request : test.requests) text += "@request " + request + "\n";
  for (const test_file::block& block : test.blocks) {
    text += "\nseed " + std::to_string(block.seed) + "\n";
    for (const std::string& line : block.lines) text += line + "\n";
  }
  return text;
}

}  // namespace tools
