/* A C host of the installed tools library: the header compiles as C99, and
 * a variant and a check come back as their JSON documents. Prints "ok" and
 * exits 0 on success. */
#include <stdio.h>
#include <string.h>

#include <zekalg/tools.h>

int main(void) {
  int failures = 0;
  char* answer = zekalg_tools_variant("r_a|1|9\nq_sq|a^2|0", NULL, NULL, NULL, "sq", 2026, 0);
  if (answer == NULL ||
      strstr(answer, "\"request\":\"sq\",\"status\":\"ok\",\"text\":\"4\"") == NULL) {
    fprintf(stderr, "FAILED: variant answered %s\n", answer ? answer : "null");
    ++failures;
  }
  zekalg_tools_free(answer);

  answer = zekalg_tools_check("r_a|1|9\nq_sq|a^^2|0", NULL, NULL, NULL, 0, 0);
  if (answer == NULL || strstr(answer, "\"errors\":1,") == NULL) {
    fprintf(stderr, "FAILED: check answered %s\n", answer ? answer : "null");
    ++failures;
  }
  zekalg_tools_free(answer);

  if (failures == 0) printf("ok\n");
  return failures == 0 ? 0 : 1;
}
