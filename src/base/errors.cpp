#include "base/errors.h"

#include <new>

#include "base/tokens.h"

z_x_algorithm::z_x_algorithm(const alg_string& x, const char* before, const char* after,
                             const char* short_form) {
  if (x.empty()) {
    message = alg_string(short_form);
  } else {
    message = alg_string(before) + operators_to_text(x) + after;
  }
}

z_x_factorial_too_high::z_x_factorial_too_high()
    : z_x_algorithm(alg_string("factorial operand exceeds 170"), alg_string()) {}

z_x_work_limit::z_x_work_limit()
    : z_x_algorithm(alg_string("work limit reached: more than 64 MiB of formula text "
                               "rewritten in one call"),
                    alg_string()) {}

namespace {

void label(z_x_algorithm& e, const alg_string& name) {
  if (e.context.empty()) {
    e.message = name + ": " + e.message;
    e.context = name;
  }
}

// The error as a plain z_x_algorithm (its class is not kept), labelled.
z_x_algorithm labelled_plain(const z_x_algorithm& e, const alg_string& name) {
  z_x_algorithm plain(e.message, e.context);
  label(plain, name);
  return plain;
}

}  // namespace

void rethrow_with_context(const alg_string& name, bool keep_count_errors) {
  try {
    throw;
  } catch (z_x_toomanyparameters& e) {
    if (!keep_count_errors) throw labelled_plain(e, name);
    label(e, name);
    throw;
  } catch (z_x_toofewparameters& e) {
    if (!keep_count_errors) throw labelled_plain(e, name);
    label(e, name);
    throw;
  } catch (const z_x_algorithm& e) {
    throw labelled_plain(e, name);
  } catch (...) {
    throw z_x_algorithm(name + ": unexpected error occurred", name);
  }
}
