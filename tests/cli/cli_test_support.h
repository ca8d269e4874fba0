// What the command's tests share: the source tree and whole-file reads and
// writes.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace cli_test {

inline const std::string kSource = ZEKALG_SOURCE_DIR;

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace cli_test
