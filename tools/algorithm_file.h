// An algorithm file as the command sees it: the engine bytes, and each
// definition line with its line number in the file, split the way the
// engine splits them, so every message can name the file and line.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/encoding.h"

namespace tools {

// A failure the command reports and exits on; the text is complete
// ("FILE:LINE: ..." or "FILE: ...").
class command_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that cannot be taken as an algorithm (a NUL byte, a character the
// engine's code page lacks); what() is "PATH:LINE: reason".
class text_error : public command_error {
 public:
  text_error(const std::string& path, int line, const std::string& reason)
      : command_error(path + ":" + std::to_string(line) + ": " + reason),
        line(line),
        reason(reason) {}
  int line;
  std::string reason;
};

struct definition_line {
  int number = 0;    // 1-based line in the file
  std::string text;  // engine bytes, line ends removed
};

struct algorithm_file {
  std::string path;
  std::string text;  // engine bytes, as handed to the engine
  std::vector<definition_line> lines;

  // The file line of the `name` definition (k_, q_, r_, l_; or f_ when
  // `function`), compared as the engine compares; 0 when there is none.
  int line_of_name(const std::string& name, bool function = false) const;
  // The line a creation or solve message is about, when the message tells:
  // a failed condition's text, or the innermost variable name in front.
  int line_of_message(const std::string& message) const;
  // "FILE:LINE: " or "FILE: " for `line` 0; "FILE:LINE:COLUMN: " with a
  // column.
  std::string where(int line, int column = 0) const;
};

inline constexpr std::size_t kMaxAlgorithmBytes = 16u << 20;

// Reads and converts the file. Throws command_error naming the file (and the
// line, for text that cannot be converted or holds a NUL byte).
algorithm_file load_algorithm_file(const std::string& path, encoding enc);

// The same for text already read; `path` names it in messages.
algorithm_file algorithm_from_text(const std::string& path, std::string raw, encoding enc);

// Splits engine bytes into definition lines as the engine loads them.
std::vector<definition_line> split_definition_lines(const std::string& text);

// ASCII lower case, as the engine compares names.
std::string lowered(std::string text);

}  // namespace tools
