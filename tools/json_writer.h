// A small JSON writer for the tools' documents: the tools build with the
// standard library alone, so that every binding (Python, WebAssembly) can
// take them without another dependency. Strings go in as UTF-8 and come out
// escaped; doubles as the shortest text that reads back the same.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

class json_writer {
 public:
  // `indent` spaces per level, one value per line; negative: all on one line.
  explicit json_writer(int indent = -1) : indent_(indent) {}

  json_writer& begin_object() { return open('{'); }
  json_writer& end_object() { return close('}'); }
  json_writer& begin_array() { return open('['); }
  json_writer& end_array() { return close(']'); }
  // The key of the next value in an object.
  json_writer& key(std::string_view name);

  json_writer& value(std::string_view utf8);
  json_writer& value(const char* utf8) { return value(std::string_view(utf8)); }
  json_writer& value(const std::string& utf8) { return value(std::string_view(utf8)); }
  json_writer& value(int64_t n);
  json_writer& value(int n) { return value(static_cast<int64_t>(n)); }
  json_writer& value(uint64_t n);
  json_writer& value(uint32_t n) { return value(static_cast<uint64_t>(n)); }
  json_writer& value(double x);  // null when not finite
  json_writer& value(bool b);
  json_writer& null();
  // A document written elsewhere, spliced in as the next value.
  json_writer& raw(std::string_view json);

  template <typename T>
  json_writer& field(std::string_view name, const T& v) {
    key(name);
    return value(v);
  }

  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  json_writer& open(char bracket);
  json_writer& close(char bracket);
  void before_value();
  void new_line();

  int indent_;
  std::string out_;
  std::vector<bool> empty_;  // per open level: nothing written in it yet
  bool after_key_ = false;
};

// `text` as a JSON string, quotes included.
std::string json_quoted(std::string_view utf8);

}  // namespace tools
