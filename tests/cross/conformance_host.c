/* The conformance cases through the shared library's C functions, without
 * a test framework, for builds that run under an emulator.
 *
 *   conformance_host CASES
 *     runs every case of the file CASES; prints each failure and the count
 *     passed; exits 1 when any case fails.
 */
#include <stdio.h>

#include "conformance/conformance.h"

int main(int argc, char** argv) {
  static const struct zekalg_functions api = {
      zekalg_create_environment, zekalg_kill_environment, zekalg_solve_var,
      zekalg_solve_var16,        zekalg_seed_environment, zekalg_list_capabilities,
  };
  struct conformance_suite suite;
  char message[2048];
  size_t i;
  int failures = 0, passed;
  if (argc != 2) {
    fprintf(stderr, "usage: conformance_host CASES\n");
    return 2;
  }
  if (!conformance_load(argv[1], &suite, message, sizeof message)) {
    fprintf(stderr, "%s\n", message);
    return 1;
  }
  for (i = 0; i < suite.count; ++i) {
    if (!conformance_run(&api, &suite.cases[i], message, sizeof message)) {
      printf("FAIL %s: %s\n", suite.cases[i].name, message);
      ++failures;
    }
  }
  passed = (int)suite.count - failures;
  printf("conformance: %d of %d cases passed\n", passed, (int)suite.count);
  conformance_free(&suite);
  return failures == 0 && passed > 0 ? 0 : 1;
}
