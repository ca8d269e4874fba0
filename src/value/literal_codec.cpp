#include "value/literal_codec.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/number_text.h"

namespace {

constexpr bool is_ascii_alnum(int c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

alg_string encode_literal(const alg_string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.length());
  for (const char byte : text.view()) {
    const auto c = static_cast<unsigned char>(byte);
    if (is_ascii_alnum(c)) {
      out += byte;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return alg_string(std::string_view(out));
}

uint32_t encoded_length(std::string_view text) noexcept {
  // Per byte: 1 for a letter or digit, 3 for the rest.
  static constexpr auto kBytes = [] {
    std::array<uint8_t, 256> bytes{};
    for (int c = 0; c < 256; ++c) bytes[c] = is_ascii_alnum(static_cast<unsigned char>(c)) ? 1 : 3;
    return bytes;
  }();
  uint32_t length = 0;
  for (const char byte : text) length += kBytes[static_cast<unsigned char>(byte)];
  return length;
}

namespace {

// One digit as hex_to_int weighs it: 0-9, a-f or A-F, anything else 0.
uint32_t hex_digit(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
  return 0;
}

}  // namespace

// A '%' reads the (up to) two bytes after it as hex; a '%' cut short at the
// end of the text takes the one byte that is there, and a '%' that is the last
// byte stays as it is. Never reads past the end. The digits are read as
// hex_to_int reads a text: up to a NUL, any other byte counting as 0.
alg_string decode_literal(const alg_string& text) {
  const std::string_view in = text.view();
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const char c = in[i];
    if (c == '%' && i + 1 < in.size()) {
      const size_t digits = std::min<size_t>(2, in.size() - i - 1);
      const char first = in[i + 1];
      uint32_t value = 0;
      if (first != '\0') {
        value = hex_digit(first);
        if (digits == 2 && in[i + 2] != '\0') value = value * 16 + hex_digit(in[i + 2]);
      }
      out += static_cast<char>(value & 0xFF);
      i += 1 + digits;
    } else {
      out += c == '+' ? ' ' : c;
      ++i;
    }
  }
  return alg_string(std::string_view(out));
}

// \\ \0 \xHH \t \n; a backslash before any other byte is dropped and the byte
// kept (so \T is T and "\x" at the very end is x); a trailing backslash is
// dropped; "\x" with only one byte after it takes that one hex digit.
alg_string unescape_literal(const alg_string& text) {
  alg_string out;
  const uint32_t n = text.length();
  uint32_t i = 1;
  while (i <= n) {
    const int c = text.char_at(i);
    if (c != '\\') {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (i == n) break;  // a trailing backslash is dropped
    const int e = text.char_at(i + 1);
    switch (e) {
      case '\\':
        out += '\\';
        i += 2;
        break;
      case '0':
        i += 2;
        break;
      case 't':
        out += '\t';
        i += 2;
        break;
      case 'n':
        out += '\n';
        i += 2;
        break;
      case 'x':
        if (i + 1 < n) {
          const alg_string digits = text.mid(i + 2, 2);  // mid clips at the end
          out += static_cast<char>(hex_to_int(digits) & 0xFF);
          i += 2 + digits.length();
        } else {
          out += 'x';
          i += 2;
        }
        break;
      default:
        out += static_cast<char>(e);
        i += 2;
        break;
    }
  }
  return out;
}
