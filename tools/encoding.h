// Text encodings at the command's edges: the engine speaks Windows-1252
// bytes (byte 150 is the en dash it writes as minus); people and terminals
// speak UTF-8. Conversions are exact or fail with the offending offset.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tools {

enum class encoding { utf8, cp1252 };

// A text that cannot be converted; `offset` is the byte offset of the
// offending character in the input.
class encoding_error : public std::runtime_error {
 public:
  encoding_error(std::size_t offset, const std::string& what)
      : std::runtime_error(what), offset(offset) {}
  std::size_t offset;
};

// UTF-8 to Windows-1252. Throws encoding_error on malformed UTF-8 and on
// characters the code page has no byte for.
std::string utf8_to_cp1252(std::string_view text);

// Windows-1252 to UTF-8. Never fails: the five bytes the code page leaves
// undefined become the C1 control characters of the same number.
std::string cp1252_to_utf8(std::string_view text);

// The engine bytes for user text given in `enc`, and back.
inline std::string to_engine(std::string_view text, encoding enc) {
  return enc == encoding::utf8 ? utf8_to_cp1252(text) : std::string(text);
}
inline std::string from_engine(std::string_view text, encoding enc) {
  return enc == encoding::utf8 ? cp1252_to_utf8(text) : std::string(text);
}

// A result as a front end shows it: UTF-8, with '-' for the en dash when
// `ascii_minus` (for clients that want plain ASCII signs).
std::string shown_text(std::string_view engine_text, bool ascii_minus);

}  // namespace tools
