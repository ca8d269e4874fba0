#include "value/checks.h"

#include <cstring>

#include "base/errors.h"

void check_count(uint32_t count, uint32_t expected, const alg_string& context) {
  if (count > expected) throw z_x_toomanyparameters(context);
  if (count < expected) throw z_x_toofewparameters(context);
}

// Codes are tested in the order "s", "d", "l"; only the kind counts, never
// the value (the real 2.0 is no integer).
void check_kind(const alg_value& value, const char* code, const alg_string& context) {
  if (code == nullptr) return;
  if (std::strcmp(code, "s") == 0) {
    if (!value.is_text()) throw z_x_string_required(context);
  } else if (std::strcmp(code, "d") == 0) {
    if (!value.is_number()) throw z_x_number_required(context);
  } else if (std::strcmp(code, "l") == 0) {
    if (!value.is_integer()) throw z_x_integer_required(context);
  }
}

void check_match(const alg_value& a, const alg_value& b, const alg_string& context) {
  if (a.is_text() != b.is_text()) throw z_x_match_required(context);
}
