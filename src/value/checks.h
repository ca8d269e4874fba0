// The kind and count checks every evaluating step uses. They only inspect
// their arguments and throw; `context` is the name the message quotes (an
// operator's shown form, a function name, a sign, or empty for the short form).
#pragma once

#include <cstdint>

#include "base/alg_string.h"
#include "value/alg_value.h"

// Throws z_x_toomanyparameters / z_x_toofewparameters unless count == expected.
void check_count(uint32_t count, uint32_t expected, const alg_string& context);
// Throws the error of a value that is not of kind `code` ("s", "d" or "l").
[[noreturn]] void kind_required(char code, const alg_string& context);

// code "s": text required; "d": number required; "l": integer required;
// any other code passes every value.
inline void check_kind(const alg_value& value, const char* code, const alg_string& context) {
  if (code == nullptr || code[0] == '\0' || code[1] != '\0') return;
  switch (code[0]) {
    case 's':
      if (!value.is_text()) kind_required('s', context);
      break;
    case 'd':
      if (!value.is_number()) kind_required('d', context);
      break;
    case 'l':
      if (!value.is_integer()) kind_required('l', context);
      break;
    default:
      break;
  }
}
// Throws z_x_match_required when exactly one of the two values is a text.
void check_match(const alg_value& a, const alg_value& b, const alg_string& context);
