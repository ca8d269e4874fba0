/* The public header from C, through the shared library. */
#include <stdio.h>
#include <string.h>

#include "zekalg/zekalg.h"

static int failures = 0;

#define CHECK(cond)                                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                        \
    }                                                                    \
  } while (0)

/* The text of `request` in `id`. */
static const char* solved(int32_t id, const char* request) {
  static char text[64];
  int32_t length = sizeof text;
  if (zekalg_solve_var(id, request, text, &length) != ZEKALG_OK) return "(failed)";
  return text;
}

/* k is drawn at the first solve: from the environment's own stream, not
 * from wherever another environment's create left the generator. */
static void interleaved_environments_keep_their_variants(void) {
  const char* algorithm = "r_m|2|9\nr_n|1|8\nr_k|1|4\nc_order|m>n";
  char alone[64];
  char message[64];
  int32_t length = sizeof message;
  int32_t a;
  int32_t b;
  zekalg_seed_environment(42);
  a = zekalg_create_environment(0, algorithm, message, &length);
  strcpy(alone, solved(a, "k"));
  zekalg_kill_environment(a);

  zekalg_seed_environment(42);
  length = sizeof message;
  a = zekalg_create_environment(0, algorithm, message, &length);
  zekalg_seed_environment(7);
  length = sizeof message;
  b = zekalg_create_environment(0, algorithm, message, &length);
  CHECK(strcmp(solved(a, "k"), alone) == 0);
  zekalg_kill_environment(a);
  zekalg_kill_environment(b);
}

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
  interleaved_environments_keep_their_variants();
  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
