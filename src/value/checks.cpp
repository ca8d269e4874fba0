#include "value/checks.h"

#include "base/errors.h"

void check_count(uint32_t count, uint32_t expected, const alg_string& context) {
  if (count > expected) throw z_x_toomanyparameters(context);
  if (count < expected) throw z_x_toofewparameters(context);
}

void kind_required(char code, const alg_string& context) {
  switch (code) {
    case 's':
      throw z_x_string_required(context);
    case 'd':
      throw z_x_number_required(context);
    default:
      throw z_x_integer_required(context);
  }
}

void check_match(const alg_value& a, const alg_value& b, const alg_string& context) {
  if (a.is_text() != b.is_text()) throw z_x_match_required(context);
}
