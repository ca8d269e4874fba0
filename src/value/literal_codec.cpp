#include "value/literal_codec.h"

#include "base/number_text.h"

namespace {

bool is_ascii_alnum(int c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

alg_string encode_literal(const alg_string& text) {
  alg_string out;
  out.reserve(text.length(), 16);
  for (uint32_t i = 1; i <= text.length(); ++i) {
    const int c = text.char_at(i);
    if (is_ascii_alnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += int_to_hex(c, 2);
    }
  }
  return out;
}

// A '%' reads the (up to) two bytes after it as hex; a '%' cut short at the
// end of the text takes the one byte that is there, and a '%' that is the last
// byte stays as it is. Never reads past the end.
alg_string decode_literal(const alg_string& text) {
  alg_string out;
  const uint32_t n = text.length();
  uint32_t i = 1;
  while (i <= n) {
    const int c = text.char_at(i);
    if (c == '%' && i < n) {
      const alg_string digits = text.mid(i + 1, 2);  // mid clips at the end
      out += static_cast<char>(hex_to_int(digits) & 0xFF);
      i += 1 + digits.length();
    } else {
      out += c == '+' ? ' ' : static_cast<char>(c);
      ++i;
    }
  }
  return out;
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
