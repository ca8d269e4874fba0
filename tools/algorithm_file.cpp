#include "tools/algorithm_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tools {
namespace {

int line_at(const std::string& text, std::size_t offset) {
  return 1 + static_cast<int>(std::count(
                 text.begin(),
                 text.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text.size())), '\n'));
}

bool is_variable_prefix(const std::string& line) {
  return line.size() >= 2 && line[1] == '_' &&
         (line[0] == 'k' || line[0] == 'q' || line[0] == 'r' || line[0] == 'l');
}

// Not UTF-8 but plausible Windows-1252: no byte the code page leaves
// undefined, and no control character but tabs and line ends.
bool looks_like_cp1252(const std::string& raw) {
  return std::none_of(raw.begin(), raw.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D ||
           (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
  });
}

}  // namespace

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::vector<definition_line> split_definition_lines(const std::string& text) {
  std::vector<definition_line> lines;
  int number = 1;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    // The engine drops line-end bytes at both ends of what it takes as a line.
    const std::size_t first = line.find_first_not_of('\r');
    line.erase(0, first == std::string::npos ? line.size() : first);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back({number, std::move(line)});
    ++number;
    start = end + 1;
  }
  return lines;
}

algorithm_file load_algorithm_file(const std::string& path, encoding enc) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw command_error(path + ": cannot open the file");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) throw command_error(path + ": cannot read the file");
  if (static_cast<unsigned long long>(size) > kMaxAlgorithmBytes) {
    throw command_error(path + ": the file is too large (" + std::to_string(size) +
                        " bytes; an algorithm may have at most 16 MiB)");
  }
  in.seekg(0, std::ios::beg);
  std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw command_error(path + ": cannot read the file");
  return algorithm_from_text(path, std::move(raw), enc);
}

algorithm_file algorithm_from_text(const std::string& path, std::string raw, encoding enc) {
  if (enc == encoding::utf8 && raw.starts_with("\xEF\xBB\xBF")) raw.erase(0, 3);
  const std::size_t nul = raw.find('\0');
  if (nul != std::string::npos) {
    throw text_error(path, line_at(raw, nul), "a NUL byte (is this a text file?)");
  }
  algorithm_file file;
  file.path = path;
  try {
    file.text = to_engine(raw, enc);
  } catch (const encoding_error& e) {
    std::string hint;
    if (enc == encoding::utf8 && std::string_view(e.what()).starts_with("invalid UTF-8") &&
        looks_like_cp1252(raw)) {
      hint = " (the file reads as Windows-1252 text: try --encoding cp1252)";
    }
    throw text_error(path, line_at(raw, e.offset), e.what() + hint);
  }
  file.lines = split_definition_lines(file.text);
  return file;
}

int algorithm_file::line_of_name(const std::string& name, bool function) const {
  const std::string wanted = lowered(name);
  for (const definition_line& line : lines) {
    const bool kind_fits = function ? line.text.starts_with("f_") : is_variable_prefix(line.text);
    if (!kind_fits) continue;
    const std::size_t bar = line.text.find('|');
    if (bar == std::string::npos) continue;
    if (lowered(line.text.substr(2, bar - 2)) == wanted) return line.number;
  }
  return 0;
}

int algorithm_file::line_of_message(const std::string& message) const {
  static const std::string kBefore = "condition ";
  static const std::string kAfter = " could not be satisfied";
  if (message.starts_with(kBefore) && message.ends_with(kAfter) &&
      message.size() > kBefore.size() + kAfter.size()) {
    const std::string body =
        message.substr(kBefore.size(), message.size() - kBefore.size() - kAfter.size());
    for (const definition_line& line : lines) {
      const std::size_t bar = line.text.find('|');
      if (line.text.starts_with("c_") && bar != std::string::npos &&
          line.text.substr(bar + 1) == body) {
        return line.number;
      }
    }
    return 0;
  }
  const std::size_t colon = message.find(": ");
  if (colon == std::string::npos || colon == 0) return 0;
  const std::string name = message.substr(0, colon);
  if (const int line = line_of_name(name)) return line;
  return line_of_name(name, true);
}

std::string algorithm_file::where(int line, int column) const {
  if (line <= 0) return path + ": ";
  std::string place = path + ":" + std::to_string(line) + ":";
  if (column > 0) place += std::to_string(column) + ":";
  return place + " ";
}

}  // namespace tools
