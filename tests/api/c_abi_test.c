/* The public header from C, through the shared library. */
#include <stdio.h>
#include <string.h>

#include "zekalg/zekalg.h"

static int failures = 0;

#define CHECK(cond)                                              \
  do {                                                           \
    if (!(cond)) {                                               \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                \
    }                                                            \
  } while (0)

int main(void) {
  char buffer[64];
  int32_t length = sizeof buffer;
  int32_t id;

  CHECK(zekalg_solve_var(0, "x", buffer, &length) == ZEKALG_OK);
  CHECK(length == 0 && buffer[0] == '\0');

  zekalg_seed_environment(42);
  length = sizeof buffer;
  id = zekalg_create_environment(0, "k_a|7\nq_b|a*2", buffer, &length);
  CHECK(id > 0);
  length = sizeof buffer;
  CHECK(zekalg_solve_var(id, "b", buffer, &length) == ZEKALG_OK);
  CHECK(strcmp(buffer, "14") == 0);
  CHECK(length == 2);

  length = 4;
  CHECK(zekalg_solve_var(id, "nothere", buffer, &length) == ZEKALG_ERROR_ALGORITHM);
  CHECK(length == (int32_t)strlen("variable 'nothere' not defined"));
  CHECK(strcmp(buffer, "var") == 0);

  CHECK(zekalg_kill_environment(id) == 0);
  zekalg_list_capabilities("c");
  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
