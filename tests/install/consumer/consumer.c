/* A C host of the installed library: the header compiles as C99 and every
 * function behaves as documented. Prints "ok" and exits 0 on success. */
#include <stdio.h>
#include <string.h>

#include <zekalg/zekalg.h>

#if ZEKALG_VERSION_MAJOR != 0
#error "unexpected major version"
#endif

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

int main(void) {
  char text[64];
  char tiny[4];
  int32_t length = (int32_t)sizeof text;
  int32_t env;
  int32_t status;

  zekalg_list_capabilities("anything");
  zekalg_seed_environment(2026);
  env = zekalg_create_environment(0, "r_a|1|9\nq_neg|0-a*1000|0|0|1", text, &length);
  expect(env > 0, "create returns an id");
  expect(length == (int32_t)sizeof text, "a successful create leaves the length alone");

  length = (int32_t)sizeof text;
  status = zekalg_solve_var(env, "neg", text, &length);
  expect(status == ZEKALG_OK, "solve succeeds");
  expect((unsigned char)text[0] == 150, "negative results start with byte 150");
  expect(strchr(text, ',') != NULL, "grouping applies");
  expect(length == (int32_t)strlen(text), "the length is the text's length");

  /* Truncation: the full length comes back, the buffer holds what fits. */
  length = (int32_t)sizeof tiny;
  status = zekalg_solve_var16(env, "\"abcdefgh\"", tiny, &length);
  expect(status == ZEKALG_OK, "solve16 succeeds");
  expect(length == 8 && strcmp(tiny, "abc") == 0, "a cut result reports its full length");

  length = (int32_t)sizeof text;
  status = zekalg_solve_var(env, "1/", text, &length);
  expect(status == ZEKALG_ERROR_ALGORITHM && length > 0, "errors come back as -1 and a message");

  length = (int32_t)sizeof text;
  expect(zekalg_create_environment(0, "c_x|0", text, &length) == -1, "a failed create is -1");
  expect(strcmp(text, "condition 0 could not be satisfied") == 0, "with its message");

  expect(zekalg_kill_environment(env) == 0, "kill returns 0");
  length = (int32_t)sizeof text;
  expect(zekalg_solve_var(env, "neg", text, &length) == ZEKALG_OK && length == 0,
         "a killed id answers the empty text");

  if (failures == 0) printf("ok\n");
  return failures == 0 ? 0 : 1;
}
