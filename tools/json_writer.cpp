#include "tools/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tools {

std::string json_quoted(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (const char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
          out += buffer;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

void json_writer::new_line() {
  if (indent_ < 0) return;
  out_ += '\n';
  out_.append(empty_.size() * static_cast<std::size_t>(indent_), ' ');
}

void json_writer::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (empty_.empty()) return;
  if (!empty_.back()) out_ += ',';
  empty_.back() = false;
  new_line();
}

json_writer& json_writer::key(std::string_view name) {
  before_value();
  out_ += json_quoted(name);
  out_ += indent_ < 0 ? ":" : ": ";
  after_key_ = true;
  return *this;
}

json_writer& json_writer::open(char bracket) {
  before_value();
  out_ += bracket;
  empty_.push_back(true);
  return *this;
}

json_writer& json_writer::close(char bracket) {
  const bool was_empty = empty_.back();
  empty_.pop_back();
  if (!was_empty) new_line();
  out_ += bracket;
  return *this;
}

json_writer& json_writer::value(std::string_view utf8) {
  before_value();
  out_ += json_quoted(utf8);
  return *this;
}

json_writer& json_writer::value(int64_t n) {
  before_value();
  out_ += std::to_string(n);
  return *this;
}

json_writer& json_writer::value(uint64_t n) {
  before_value();
  out_ += std::to_string(n);
  return *this;
}

json_writer& json_writer::value(double x) {
  if (!std::isfinite(x)) return null();
  before_value();
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, x).ptr;
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  out_ += text;
  // A whole number stays a number with a fraction, as a reader typed by
  // JSON (Python's json) would otherwise take it for an integer.
  if (text.find_first_of(".e") == std::string_view::npos) out_ += ".0";
  return *this;
}

json_writer& json_writer::value(bool b) {
  before_value();
  out_ += b ? "true" : "false";
  return *this;
}

json_writer& json_writer::null() {
  before_value();
  out_ += "null";
  return *this;
}

json_writer& json_writer::raw(std::string_view json) {
  before_value();
  out_ += json;
  return *this;
}

}  // namespace tools
